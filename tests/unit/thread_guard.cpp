// Linked into qvox_tests with --wrap=pthread_create: a test there that starts
// a thread fails, because only qvox_thread_tests runs under ThreadSanitizer.
#include <gtest/gtest.h>
#include <pthread.h>

extern "C" int __real_pthread_create(pthread_t* thread, const pthread_attr_t* attrs, void* (*run)(void*), void* arg);
extern "C" int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attrs, void* (*run)(void*), void* arg);

extern "C" int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attrs, void* (*run)(void*), void* arg) {
    ADD_FAILURE() << "this test starts a thread: list its file in qvox_thread_test_files (CMakeLists.txt)";
    return __real_pthread_create(thread, attrs, run, arg);
}

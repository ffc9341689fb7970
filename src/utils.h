// System information for the HUD's system page, the chat history reader and
// trim_string. Each system query has a variant that reads a given file or runs
// a given command, so that prepared inputs can stand in for /proc and the shell.
#pragma once

#include <cstddef>

// Resident memory of this process in megabytes (VmRSS of /proc/self/status); 0 when unknown.
int get_process_memory_mb(void);
int get_process_memory_mb_from(const char* status_path);

// "CPU: <model name>" from /proc/cpuinfo, else "CPU: Unknown".
void get_cpu_model(char* buffer, size_t size);
void get_cpu_model_from(const char* cpuinfo_path, char* buffer, size_t size);

// "GPU: <OpenGL renderer>" from glxinfo, else "GPU: Unknown".
void get_gpu_model(char* buffer, size_t size);
void get_gpu_model_from_command(const char* command, char* buffer, size_t size);

// "Kernel: <release>" from uname -r, else "Kernel: Unknown".
void get_kernel_info(char* buffer, size_t size);
void get_kernel_info_from_command(const char* command, char* buffer, size_t size);

// The lines_back-th most recent non-empty line of ./chathistory (1 = newest).
// out_line is always terminated; false when there is no such line.
bool get_chat_history_line(int lines_back, char* out_line, size_t max_len);
bool get_chat_history_line_from(const char* path, int lines_back, char* out_line, size_t max_len);

// Removes trailing space, tab, CR and LF, then leading space and tab, in place.
void trim_string(char* str);

// Grows the heap array *buffer (capacity in elements) to hold at least `needed`
// elements of `size` bytes, doubling; false (logged) when memory runs out, with
// the array left as it was.
bool grow_buffer(void** buffer, int* capacity, int needed, size_t size);

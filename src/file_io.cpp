// The one writer of complete files, and the syncs that make them durable.
#include "file_io.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

// A save job on the worker and a whole-world save on the main thread may write
// the same file at once, so every writer gets its own temporary name.
static bool make_temp_path(char* out, const char* path) {
    static std::atomic<unsigned> counter{0};
    const long tid = static_cast<long>(syscall(SYS_gettid));
    int n = snprintf(out, FILE_TEMP_PATH_MAX, "%s.tmp.%d.%ld.%u", path, static_cast<int>(getpid()), tid,
                     counter.fetch_add(1));
    return n > 0 && static_cast<size_t>(n) < FILE_TEMP_PATH_MAX;
}

bool file_is_temp_name(const char* name) {
    return strstr(name, ".tmp.") != nullptr;
}

static bool write_all(int fd, const unsigned char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Fills, optionally syncs and closes the open temporary file; false after the
// first failure, with the failing step logged.
static bool fill_temp_file(int fd, const char* temp, const void* data, size_t size, bool sync) {
    bool ok = write_all(fd, static_cast<const unsigned char*>(data), size);
    if (!ok) fprintf(stderr, "[file] Failed to write %s: %s\n", temp, strerror(errno));
    if (ok && sync && fsync(fd) != 0) {
        fprintf(stderr, "[file] Failed to sync %s: %s\n", temp, strerror(errno));
        ok = false;
    }
    if (close(fd) != 0 && ok) {
        fprintf(stderr, "[file] Failed to close %s: %s\n", temp, strerror(errno));
        ok = false;
    }
    return ok;
}

void file_remove_temp(const char* temp) {
    if (unlink(temp) != 0 && errno != ENOENT)
        fprintf(stderr, "[file] Failed to remove %s: %s\n", temp, strerror(errno));
}

bool file_write_temp(const char* path, char* temp, const void* data, size_t size, bool sync) {
    if (!make_temp_path(temp, path)) {
        fprintf(stderr, "[file] Path too long for a temporary file: %s\n", path);
        return false;
    }
    int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        fprintf(stderr, "[file] Failed to create %s: %s\n", temp, strerror(errno));
        return false;
    }
    if (fill_temp_file(fd, temp, data, size, sync)) return true;
    file_remove_temp(temp);
    return false;
}

bool file_replace_with_temp(const char* temp, const char* path) {
    if (rename(temp, path) == 0) return true;
    fprintf(stderr, "[file] Failed to rename %s to %s: %s\n", temp, path, strerror(errno));
    file_remove_temp(temp);
    return false;
}

bool file_write_whole(const char* path, const void* data, size_t size, bool sync) {
    char temp[FILE_TEMP_PATH_MAX];
    return file_write_temp(path, temp, data, size, sync) && file_replace_with_temp(temp, path);
}

// Opens `dir`, runs `sync_fd` on it (fsync or syncfs) and closes it, logging each failure.
static bool sync_dir_with(const char* dir, int (*sync_fd)(int)) {
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "[file] Failed to open %s for syncing: %s\n", dir, strerror(errno));
        return false;
    }
    bool ok = sync_fd(fd) == 0;
    if (!ok) fprintf(stderr, "[file] Failed to sync %s: %s\n", dir, strerror(errno));
    if (close(fd) != 0 && ok) {
        fprintf(stderr, "[file] Failed to close %s: %s\n", dir, strerror(errno));
        ok = false;
    }
    return ok;
}

bool file_sync_directory(const char* dir) {
    return sync_dir_with(dir, fsync);
}

bool file_sync_file_system(const char* dir) {
    return sync_dir_with(dir, syncfs);
}

bool file_read_whole(const char* path, unsigned char* out, size_t capacity, size_t* size) {
    FILE* file = fopen(path, "rb");
    if (!file) {
        fprintf(stderr, "[file] Failed to open %s: %s\n", path, strerror(errno));
        return false;
    }
    *size = fread(out, 1, capacity, file);
    bool ok = !ferror(file);
    if (!ok) fprintf(stderr, "[file] Failed to read %s\n", path);
    if (fclose(file) != 0 && ok) {
        fprintf(stderr, "[file] Failed to close %s\n", path);
        ok = false;
    }
    return ok;
}

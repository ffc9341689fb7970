// Complete files: every file the game writes goes to a temporary file beside
// it, is written whole (and synced where asked) and then renamed over the old
// one, so a crash or kill at any moment leaves either the complete old file or
// the complete new one. Every failure is logged with its action and path.
#pragma once

#include <cstddef>

// Room for a path of the game plus the suffix of its temporary files.
constexpr size_t FILE_TEMP_PATH_MAX = 1024;

// Writes `data` completely into a new temporary file beside `path` and names
// it in `temp` (FILE_TEMP_PATH_MAX bytes); on failure nothing is left behind.
bool file_write_temp(const char* path, char* temp, const void* data, size_t size, bool sync);
// Renames the temporary file over `path`; on failure it is removed.
bool file_replace_with_temp(const char* temp, const char* path);
void file_remove_temp(const char* temp);
// Both steps at once: `path` becomes `data` completely, or stays as it was.
bool file_write_whole(const char* path, const void* data, size_t size, bool sync);
// Whether a directory entry is a temporary file of this writer.
bool file_is_temp_name(const char* name);

// Makes the renames inside `dir` durable.
bool file_sync_directory(const char* dir);
// Flushes the whole file system holding `dir` to disk: one sync for many files.
bool file_sync_file_system(const char* dir);
// Reads a whole file of at most `capacity` bytes into `out`.
bool file_read_whole(const char* path, unsigned char* out, size_t capacity, size_t* size);

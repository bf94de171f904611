#pragma once
// File operations that never leave partial output behind.

// Copies the file `from` to `to`, replacing `to` atomically. Returns false (and
// leaves `to` as it was) when the source cannot be read or the copy not written.
bool app_file_copy(const char* from, const char* to);

// Writes size bytes to path atomically: a temporary file in the same folder is
// written, flushed to disk and renamed over path. Returns false on any failure;
// then path is as it was and no temporary file remains. An existing path that
// is not a regular file (a folder, device, FIFO or socket) is refused with
// errno EISDIR or EEXIST, never replaced; app_file_copy refuses it likewise.
bool app_file_write(const char* path, unsigned size, const void* bytes);

// Returns true when a and b name the same file: the same existing file (device
// and inode, however the paths are spelt), or, when neither exists yet, the
// same name in the same folder ("o/./out.png" and "o/out.png").
bool app_file_same(const char* a, const char* b);

// Checks, before any work, that app_file_write can create or replace path: a
// name is given, it is not a folder nor another non-regular file, and its
// folder exists and takes new files. Returns true, or false with the reason
// ("it is a folder", "folder 'x' does not exist", ...) in why (why_size bytes).
bool app_file_check_output(const char* path, char* why, unsigned why_size);

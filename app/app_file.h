#pragma once
// File operations that never leave partial output behind.

// Copies the file `from` to `to`, replacing `to` atomically. Returns false (and
// leaves `to` as it was) when the source cannot be read or the copy not written.
bool app_file_copy(const char* from, const char* to);

// Writes size bytes to path atomically: a temporary file in the same folder is
// written, flushed to disk and renamed over path. Returns false on any failure;
// then path is as it was and no temporary file remains.
bool app_file_write(const char* path, unsigned size, const void* bytes);

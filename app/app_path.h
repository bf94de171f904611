#pragma once
// Folders and paths. Every function writes a NUL-terminated UTF-8 path into dst,
// a buffer of len bytes; a longer path is cut at len - 1 bytes. A function that
// returns false leaves dst untouched.

// Writes the user's documents folder: XDG_DOCUMENTS_DIR (environment, then
// user-dirs.dirs), else the home folder + "/Documents". False without a home folder.
bool app_get_documents_path(int len, char* dst);

// Writes the user's desktop folder: XDG_DESKTOP_DIR (environment, then
// user-dirs.dirs), else the home folder + "/Desktop"; "~" and "$HOME" are
// expanded. The folder may not exist. False without a home folder.
bool app_get_desktop_path(int len, char* dst);

// Writes a fresh, unused name inside the temporary folder ($TMPDIR, else /tmp):
// the folder, "/" and a newly generated random UUID. Nothing is created.
// False when no random bytes can be read.
bool app_get_temp_path(int len, char* dst);

// Writes the path of the file name + "." + type (type null or empty: name alone)
// in the folder of the running executable. Whether it exists is not checked.
// False when the executable's location is unknown.
bool app_resource_path(const char* name, const char* type, int len, char* dst);

// Writes path with its last component removed and, when last is not null, last
// appended as the new last component ("/a/b.png", "c.png" -> "/a/c.png";
// "/a/b.png", null -> "/a"; "b.png", "c.png" -> "c.png"). Trailing slashes of
// path are ignored. False only for a null path or an empty buffer.
bool path_replace_last_component(const char* path, const char* last, int len, char* dst);

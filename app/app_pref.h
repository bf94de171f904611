#pragma once
// String preferences of the user, kept in $XDG_CONFIG_HOME/spotweave/preferences
// (else ~/.config/spotweave/preferences), one key=value line each.
// Thread: main (the file is read and rewritten whole, without locking).

// Writes the value stored under key into dst, a buffer of len bytes (a longer
// value is cut at len - 1 bytes). False when the key is not set; dst is then
// untouched.
bool app_pref_read(const char* key, int len, char* dst);

// Stores value under key (null value: removes the key) and rewrites the file
// atomically. False when the file cannot be written; the old file then stays.
bool app_pref_write(const char* key, const char* value);

#pragma once
// Shared inside host/ only.

#include "host/host.h"

// The session whose call is running (null between calls).
extern host_session_s* host__current;

// The descriptor read and write procedures every record gets.
ReadDescriptorProcs* host__read_procs();
WriteDescriptorProcs* host__write_procs();

// Takes the next line of text from *start (without its line feed, or the
// carriage return before it) and moves *start past it. Returns false when the
// text is used up.
bool host__next_line(const std::string& text, size_t* start, std::string* line);

// Parses one line of the descriptor text form. Returns false with the reason in
// error (a NUL byte anywhere is "not text"); *blank is set for an empty or
// comment line (no entry).
bool host__desc_parse_line(const std::string& line, host_desc_entry_s* entry, bool* blank,
                           std::string* error);

// Parses one line into desc: the rules every descriptor text follows, the
// action files' and the registry's alike. Blank and comment lines add nothing;
// a key desc already holds is refused. Returns false with the reason in error.
bool host__desc_add_line(host_desc_s* desc, const std::string& line, std::string* error);

// Reports a host message on standard error: "spotweave-host: <text>\n".
void host__warn(const char* format, ...) __attribute__((format(printf, 1, 2)));

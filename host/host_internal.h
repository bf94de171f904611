#pragma once
// Shared inside host/ only.

#include "host/host.h"

// The session whose call is running (null between calls).
extern host_session_s* host__current;

// The descriptor read and write procedures every record gets.
ReadDescriptorProcs* host__read_procs();
WriteDescriptorProcs* host__write_procs();

// Takes the next line of text from *start (without its line feed) and moves
// *start past it. Returns false when the text is used up.
bool host__next_line(const std::string& text, size_t* start, std::string* line);

// Parses one line of the descriptor text form. Returns false with the reason in
// error; *blank is set for an empty or comment line (no entry).
bool host__desc_parse_line(const std::string& line, host_desc_entry_s* entry, bool* blank,
                           std::string* error);

// Reports a host message on standard error: "spotweave-host: <text>\n".
void host__warn(const char* format, ...) __attribute__((format(printf, 1, 2)));

#pragma once
// Resources embedded in the program: "RobotoLight" (TrueType text font),
// "pixelwrenicons" (TrueType icon font, glyphs at A-N and a-z) and "icon256"
// (256 x 256 RGBA PNG).

// Returns a decompressed copy of the named resource and sets *size to its byte
// count; an unknown name (or a damaged entry) gives null and *size 0.
// Owns: caller, release with free(). Thread: any.
void* app_resource_load(const char* name, unsigned* size);

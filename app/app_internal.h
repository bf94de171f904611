#pragma once
// Shared inside app/ only.

// ---- Embedded resources ------------------------------------------------------
// The table is generated at build time (sw_respack): each entry holds an LZ4
// block of stored_size bytes that decompresses to exactly size bytes.

struct app__resource_s {
    const char* name;
    const unsigned char* data;
    unsigned stored_size;
    unsigned size;
};

extern const app__resource_s app__resources[];
extern const unsigned app__resource_count;

#pragma once
// The image object every subsystem exchanges: width x height 32-bit pixel
// words 0xAARRGGBB (straight alpha), top row first, no padding, with a
// reference count, flags and an append-only list of observers.
//
// Thread: no internal lock; the reference count is a plain integer. Callers
// that share an image between threads serialise retain, release and writes.

#include <cstdint>

typedef uint32_t gr_color_t;

// Observer callback: ctx is the observer's pointer, msg one of the message
// codes below, data as described there.
typedef void (*gr_image_cb)(void* ctx, uint32_t msg, void* data);

// ---- constants ---------------------------------------------------------------

// Marks a live image record ('grim').
constexpr uint32_t gr__image_guard = 0x6772696D;

enum : uint32_t {
    gr__image_flag_mipmaps = 1, // textures made from it get mipmaps
    gr__image_flag_repeat = 2,  // textures made from it repeat in x and y
    gr__image_flag_locked = 4,  // pixels are locked for direct access
};

enum : uint32_t {
    GR_IMAGE_MSG_LOCK = 0x6C6F636B, // 'lock', data: the image
    GR_IMAGE_MSG_UNLK = 0x756E6C6B, // 'unlk', data: pointer to a changed byte (0 or 1)
    GR_IMAGE_MSG_FLAG = 0x666C6167, // 'flag', data: pointer to the uint32_t bits just set
    GR_IMAGE_MSG_FREE = 0x66726565, // 'free', data: the image, still intact
};

// ---- records -----------------------------------------------------------------

struct gr_image_attachment_s {
    uint64_t key;   // chosen by the observer
    void* ctx;      // handed back on each callback
    gr_image_cb cb; // never null
};

struct gr_image_s {
    uint32_t guard;                     // gr__image_guard while the record lives
    uint32_t refs;                      // owners; 1 at creation
    uint32_t* pixels;                   // width * height words, owned
    uint32_t version;                   // incremented by each unlock that reports a change
    uint32_t width;                     // pixels
    uint32_t height;                    // pixels
    uint32_t flags;                     // gr__image_flag_* bits
    gr_image_attachment_s* attachments; // ordered, append-only; null when empty
    uint32_t attachment_count;
    uint32_t attachment_capacity;
};

// ---- creation (each returns refs = 1; Owns: caller) --------------------------

// Every call here returns null when memory runs out.

// Returns a width x height image of transparent black pixels.
gr_image_s* gr_image_create(int32_t width, int32_t height);

// Returns an image holding a copy of width x height 0xAARRGGBB words.
gr_image_s* gr_image_create_pixels(int32_t width, int32_t height, const uint32_t* pixels);

// Decodes an encoded image held in memory with stb_image (straight alpha kept).
// Prints "Loading %d bytes...\n" to standard output. Returns null when the data
// cannot be decoded, declares more pixels than GR_IMAGE_MAX_PIXELS or than its
// bytes can hold, or memory runs out.
gr_image_s* gr_image_create_data(int32_t size, const void* bytes);

// Loads an image file at its native size, top row first, made opaque.
// Returns null when the file cannot be read or decoded, declares more than
// GR_IMAGE_MAX_PIXELS pixels, or memory runs out (gr_image_load_file says which).
gr_image_s* gr_image_create_file(const char* path);

// Returns a copy of the pixels; flags, version and observers are not copied.
gr_image_s* gr_image_duplicate(gr_image_s* image);

// Returns the w x h rectangle whose top-left pixel is (x, y). The rectangle
// must lie inside the image.
gr_image_s* gr_image_get_rect(gr_image_s* image, uint32_t x, uint32_t y, uint32_t w, uint32_t h);

// ---- reference counting --------------------------------------------------------

// Adds an owner and returns the image; null is returned unchanged.
gr_image_s* gr_image_retain(gr_image_s* image);

// Drops an owner; the last release sends 'free' to every observer and frees
// the image. Null is ignored.
void gr_image_release(gr_image_s* image);

// Same as gr_image_release.
void gr_image_destroy(gr_image_s* image);

// ---- pixel access ---------------------------------------------------------------

// Returns the width in pixels.
uint32_t gr_image_get_width(const gr_image_s* image);

// Returns the height in pixels.
uint32_t gr_image_get_height(const gr_image_s* image);

// Sends 'lock' to the observers, sets the locked flag and returns the pixel
// words (first word = top-left). The lock notifies; it excludes nothing.
uint32_t* gr_image_pixels_lock(gr_image_s* image);

// Clears the locked flag, bumps version when changed, then sends 'unlk'.
void gr_image_pixels_unlock(gr_image_s* image, bool changed);

// ORs bits into the flags and sends 'flag' with a pointer to bits.
void gr_image_flags_set(gr_image_s* image, uint32_t bits);

// Returns the flags.
uint32_t gr_image_flags_get(const gr_image_s* image);

// Appends an observer (no check for an existing key). Returns false, attaching
// nothing, when out of memory.
bool gr_image_attach(gr_image_s* image, uint64_t key, gr_image_cb cb, void* ctx);

// Returns the ctx of the first observer with this key, or null.
void* gr_image_attach_get(const gr_image_s* image, uint64_t key);

// ---- transformations and sampling ------------------------------------------------

// Mirrors the rows in place. An unlocked image is locked around the flip and
// reported changed; a locked one is flipped silently.
void gr_image_flip_vertical(gr_image_s* image);

// Returns the bilinear sample at (x, y), pixel centres at integers, coordinates
// clamped to the image; each lerp truncates to 8 bits.
gr_color_t gr_image_sample(const gr_image_s* image, float x, float y);

// Same sampling in float: writes red, green, blue, alpha in 0..1 to out[4].
void gr_image_sample_rgba(const gr_image_s* image, float* out, float x, float y);

// ---- files and encoders -------------------------------------------------------------

// Most pixels the loaders decode unless told otherwise: 2^28 (16384 x 16384,
// 1 GiB of pixel words).
constexpr uint64_t GR_IMAGE_MAX_PIXELS = uint64_t(1) << 28;

// How a load ended.
enum gr_image_load_t {
    GR_IMAGE_LOAD_OK,
    GR_IMAGE_LOAD_UNREADABLE,   // the file cannot be opened or read
    GR_IMAGE_LOAD_NOT_AN_IMAGE, // the decoder refused the data
    GR_IMAGE_LOAD_TOO_LARGE,    // the declared size is over the cap or more than the bytes hold
    GR_IMAGE_LOAD_NO_MEMORY,    // out of memory
};

// The cap a load applies and how it ended.
struct gr_image_load_s {
    uint64_t max_pixels;    // in: most width x height to decode; 0 means GR_IMAGE_MAX_PIXELS
    gr_image_load_t status; // out
    uint32_t width;         // out: the declared width, once read
    uint32_t height;        // out: the declared height, once read
    char reason[192];       // out: why it failed, for people ("image too large: 9000 x 90000")
};

// Loads an image file like gr_image_create_file. Reads the declared size first
// and refuses without decoding an image of more than load->max_pixels pixels,
// or of more than its file's bytes can hold (a few bytes claiming millions of
// pixels). Returns null on failure, with status and reason in load (which may
// be null). Owns: caller.
gr_image_s* gr_image_load_file(const char* path, gr_image_load_s* load);

// Encodes the image as PNG (RGBA, alpha as stored). Returns a malloc'd block
// and its size in *length, or null. Owns: caller (free()).
unsigned char* gr_image_encode_png(const gr_image_s* image, uint32_t* length);

// Writes the image as PNG to path (whatever its extension). The file is written
// to a temporary sibling and renamed into place, so a failure leaves no partial
// file. Returns false when it cannot be written.
bool gr_image_save_file(const gr_image_s* image, const char* path);

// Encodes the image as JPEG at quality 0..1 (alpha dropped). Returns a malloc'd
// block and its size in *length, or null. Owns: caller (free()).
unsigned char* gr_image_encode_jpeg(const gr_image_s* image, uint32_t* length, float quality);

// Writes the image as JPEG at quality 0..1. Returns false on failure.
bool gr_image_save_jpeg(const gr_image_s* image, const char* path, float quality);

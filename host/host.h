#pragma once
// spotweave-host: a host for filter plug-in modules. It loads a module, opens
// an image file as the document and drives the selectors over it as a host
// application does: handles, buffers for the requested rectangles and planes,
// progress, scripting descriptors and the suites of its basic suite.
//
// Thread: everything runs on the calling thread. The record's procedures carry
// no user pointer, so the host keeps the session being driven, its live handles
// and its suites process-wide.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "gr/gr_image.h"
#include "sdk/pi_filter.h"
#include "sdk/pi_suites.h"

// ---- document ---------------------------------------------------------------------

// The image being filtered: planes interleaved, one sample a plane (0..255 at
// depth 8, 0..65535 at depth 16), rows packed, top row first.
struct host_document_s {
    int32_t width = 0;
    int32_t height = 0;
    int16_t planes = 4; // 3 (RGB) or 4 (RGBA)
    int16_t depth = 8;  // 8 or 16
    std::vector<uint16_t> samples;
};

// Fills doc from an image at planes (3 or 4) and depth (8 or 16); 16-bit
// samples are the 8-bit ones times 257. False for other planes or depths.
bool host_document_from_image(const gr_image_s* image, int16_t planes, int16_t depth,
                              host_document_s* doc);

// Returns a new opaque-or-alpha 8-bit image of the document (16-bit samples
// rounded to 8 bits; a three-plane document is opaque), or null when out of
// memory. Owns: caller.
gr_image_s* host_document_to_image(const host_document_s* doc);

// ---- descriptors and their text form ------------------------------------------------

// One value of a descriptor.
struct host_desc_entry_s {
    DescriptorKeyID key = 0;
    DescType type = 0;       // typeUnitFloat, typeEnumerated, typeBoolean, typeInteger, typeFloat
    uint32_t code = 0;       // the unit of a unit float, the type of an enumeration
    double number = 0.0;     // unit float, float, integer; 0 or 1 for a boolean
    uint32_t enumerated = 0; // the value of an enumeration
};

// A descriptor: values under distinct keys, in the order they were put.
struct host_desc_s {
    std::vector<host_desc_entry_s> entries;
};

// Returns the entry under key, or null.
const host_desc_entry_s* host_desc_find(const host_desc_s* desc, DescriptorKeyID key);

// Adds the entry, replacing one with the same key in place.
void host_desc_put(host_desc_s* desc, const host_desc_entry_s& entry);

// Parses the text form, one entry a line:
//   KEY UntF UNIT NUMBER | KEY enum TYPE VALUE | KEY bool true|false |
//   KEY long INTEGER     | KEY doub NUMBER
// Codes are four printable characters ("Amnt", "#Prc") or 0x and eight hex
// digits; blank lines and lines whose first mark is "#" followed by a blank or
// the line end are ignored. False with "line N: why" in error otherwise
// (unknown type, bad code or number, duplicate key).
bool host_desc_parse(const std::string& text, host_desc_s* desc, std::string* error);

// Returns the text form, numbers with enough digits to read back exactly.
std::string host_desc_format(const host_desc_s* desc);

// Writes the text form of a four-character code.
std::string host_code_format(uint32_t code);

// ---- handles ---------------------------------------------------------------------------

// The handle procedures every record gets.
HandleProcs* host_handle_procs();

// Returns a new handle holding a copy of size bytes, or null. Owns: caller
// (disposeProc).
Handle host_handle_from_bytes(const void* bytes, size_t size);

// Writes the handle's bytes to out. False for a handle the host does not know.
bool host_handle_bytes(Handle handle, std::string* out);

// Returns whether handle is a live handle of this host.
bool host_handle_is_live(Handle handle);

// Returns the number of live handles.
size_t host_handle_count();

// Returns how often handle is locked now (0 for an unknown handle).
int32_t host_handle_locks(Handle handle);

// Makes newProc fail after count more successful allocations (-1: never).
// For exercising a plug-in's out-of-memory road.
void host_handle_fail_after(int count);

// ---- suites ------------------------------------------------------------------------------

// The basic suite handed to plug-ins: it serves the action descriptor suite
// (version 5), the descriptor registry (1), the ZString suite (2) and the file
// list suite (4).
SPBasicSuite* host_basic_suite();

// Returns the acquisitions not yet released, over all suites.
int host_suite_outstanding();

// Returns the descriptor behind a suite descriptor object, or null when the
// object is not one of ours.
host_desc_s* host_action_descriptor_get(PIActionDescriptor descriptor);

// Writes the path of the registry file: $XDG_CONFIG_HOME/spotweave/registry,
// else ~/.config/spotweave/registry. False without a home folder.
bool host_registry_path(std::string* path);

// ---- module --------------------------------------------------------------------------------

struct host_module_s {
    void* library = nullptr;
    PluginMainProc entry = nullptr;
    std::string path;
};

// Loads the module at path and finds its entry. False with a message in error
// (missing or unreadable file, not a loadable module, no PluginMain).
bool host_module_open(const char* path, host_module_s* module, std::string* error);

// Unloads the module (its suites are given back through the basic suite).
void host_module_close(host_module_s* module);

// Writes the default module path: Spotweave.so beside the running program,
// else in the installed module folder relative to the program's folder (when
// that file exists).
bool host_module_default_path(std::string* path);

// ---- session -------------------------------------------------------------------------------

// One filter run over a document. The record and its tables live here; the
// host's procedures find the session through the current-session pointer,
// which host_call sets.
struct host_session_s {
    PluginMainProc entry = nullptr;
    host_document_s* document = nullptr;
    VRect filter = {0, 0, 0, 0};

    FilterRecord record = {};
    BigDocumentStruct big = {};
    PIDescriptorParameters descriptors = {};
    AboutRecord about = {};
    intptr_t data = 0; // the plug-in's slot, kept between calls

    // Buffers of the last advanceState; out is committed to the document when
    // the call that asked for it succeeds (or at the next advanceState).
    std::vector<uint8_t> in_buffer;
    std::vector<uint8_t> out_buffer;
    bool out_pending = false;
    VRect out_rect = {0, 0, 0, 0};
    int16_t out_lo = 0, out_hi = 0, out_pre = 0, out_post = 0;

    // Observations.
    FILE* trace = nullptr;      // when set, each call and its result code are printed here
    bool progress_bar = false;  // draw the progress on standard error
    bool progress_open = false; // a drawn bar still waits for its line end
    int progress_calls = 0;
    int32_t progress_done = 0;
    int32_t progress_total = 0;
    int advance_calls = 0;
    OSErr advance_error = 0; // when nonzero, advanceState fails with it (tests)
};

// Sets up the record for document and filter (which must lie inside it):
// handles, big-document rectangles, descriptor procedures, basic suite,
// maxSpace 256 MiB, dummy planes 255.
void host_session_init(host_session_s* s, PluginMainProc entry, host_document_s* document,
                       VRect filter);

// Disposes of the handles the session still holds (parameters, data slot,
// descriptor).
void host_session_free(host_session_s* s);

// Calls the entry with selector (the about record for 0) and returns the
// result word. On success of start or continue the output buffer is committed.
int16 host_call(host_session_s* s, int16 selector);

// How a run ended.
enum host_outcome_t {
    HOST_DONE,      // the document holds the result
    HOST_CANCELLED, // the plug-in reported -128: the document is unchanged
    HOST_FAILED,    // a selector reported another error: the document is unchanged
};

// Runs the filter: parameters (when asked), prepare, start, continue until the
// plug-in asks for nothing more, finish. play (or null) is the descriptor
// handed to start. On HOST_FAILED, message says which selector failed and how.
host_outcome_t host_run(host_session_s* s, bool parameters, const host_desc_s* play,
                        std::string* message);

// Reads the descriptor the plug-in recorded at finish. False when it left none
// or the host cannot read it.
bool host_recorded(const host_session_s* s, host_desc_s* out);

// Returns the selector's name ("start"), or "unknown".
const char* host_selector_name(int16 selector);

#pragma once
// The plug-in's entry and its selectors, the per-call globals, the handles of
// the parameter and data blocks, the host rectangles, and the exchange of
// pixels between the host's buffers and gr_image_s.
//
// Thread: the host's calling thread; the globals make the entry non-reentrant.

#include <cstdint>

#include "common/psdk_params.h"
#include "gr/gr_image.h"
#include "sdk/pi_filter.h"

// ---- per-call globals (valid from the top of a call until it returns) --------------

extern FilterRecord* gFilterRecord; // this call's record (selector 0: the about record)
extern intptr_t* gDataHandle;       // host-kept slot holding the data handle (0: none yet)
extern int16* gResult;              // the host's result word
extern Parameters* gParams;         // locked parameter block, or null
extern Data* gData;                 // locked data block, or null

// ---- entry -------------------------------------------------------------------------

// Answers one host call: logs "Selector: N <seconds>" to the log file,
// dispatches selectors 0..5 (others only log) and unlocks the handles (but for
// the about selector). Exceptions stop here: the result becomes -1.
extern "C" __attribute__((visibility("default"))) void
PluginMain(int16 selector, FilterRecord* record, intptr_t* data, int16* result);

// ---- selectors -----------------------------------------------------------------------

// Shows the about box (alert with "OK" and the host's two documentation pages).
void DoAbout();

// Allocates missing handles (-108 on failure) and sets the defaults.
void DoParameters();

// Allocates and initialises missing handles, sets bufferSpace to 0 and lowers
// maxSpace to twice the pixels of a 256 x 256 tile times the planes.
void DoPrepare();

// Reads the parameters and either runs the preview dialog on the filter area
// (1024 pixels at most on a side) and writes its result, or, when the played-back
// parameters cannot be read, runs DoFilter. Cancel: result -128, parameters
// restored, document unchanged.
void DoStart();

// Empties the in, out and mask rectangles: no more data is wanted.
void DoContinue();

// Records the parameters into the action and the registry.
void DoFinish();

// Renders the filter area as a coherent line drawing and writes it back. A read
// failure leaves the host's code in the result word.
void DoFilter();

// ---- handles ----------------------------------------------------------------------------

// Locks the parameter and data handles into gParams and gData. Missing handles:
// result -30100; a failed lock: -108.
void LockHandles();

// Unlocks whichever handles exist and clears gParams and gData.
void UnlockHandles();

// ---- rectangles --------------------------------------------------------------------------
// The 32-bit rectangles when the host has big-document data and the plug-in
// uses it (set at every call), else the 16-bit ones (written truncated).

VRect GetFilterRect();
VRect GetOutRect();
void SetInRect(VRect rect);
void SetOutRect(VRect rect);
void SetMaskRect(VRect rect);

// ---- image exchange ------------------------------------------------------------------------

// Asks the host for rect (planes 0..3, or 0..2 plus one dummy plane for a
// three-plane document) and returns it as a new image, A from plane 3 (or the
// dummy), R G B from planes 0..2. A document that is not 8-bit gives a
// zero-filled image. Returns null with the host's code in the result word when
// the host refuses, or -108 when the image cannot be allocated. Owns: caller.
gr_image_s* psdk_image_get(const VRect& rect);

// Writes image into the output buffer that the preceding psdk_image_get
// obtained; the image must be exactly the size of the out rectangle (checked).
// Writes nothing when the document is not 8-bit. The image is not consumed.
void psdk_image_set(gr_image_s* image);

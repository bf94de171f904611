// The plug-in's entry: per-call globals, selector dispatch, the parameter and
// data handles, the host rectangles and the two roads of the start selector.

#include "common/PluginMain.h"

#include <cstdint>

#include "common/logger.h"
#include "common/psdk_preview.h"
#include "common/psdk_suites.h"
#include "gr/gr_complex.h"
#include "gr/gr_filter.h"
#include "gr/gr_filter_flow.h"

FilterRecord* gFilterRecord = nullptr;
intptr_t* gDataHandle = nullptr;
int16* gResult = nullptr;
Parameters* gParams = nullptr;
Data* gData = nullptr;

// Longest side the preview works on; larger filter areas are scaled down.
static constexpr uint32_t PSDK_PREVIEW_MAX_SIDE = 1024;
// Side of the tile the buffer memory is reckoned for.
static constexpr int64_t PSDK_TILE_SIDE = 256;

static bool handles_locked() {
    return gParams && gData;
}

// ---- entry ----------------------------------------------------------------------------

extern "C" void PluginMain(int16 selector, FilterRecord* record, intptr_t* data, int16* result) {
    try {
        Logger logger("Spotweave");
        Timer timer;
        logger.Write("Selector: ", false);
        logger.Write(int(selector), false);
        logger.Write(" ", false);

        gFilterRecord = record;
        gDataHandle = data;
        gResult = result;
        gParams = nullptr;
        gData = nullptr;
        if (selector == filterSelectorAbout) {
            sSPBasic = record ? reinterpret_cast<AboutRecord*>(record)->sSPBasic : nullptr;
        } else {
            sSPBasic = record ? record->sSPBasic : nullptr;
            if (record && record->bigDocumentData)
                record->bigDocumentData->PluginUsing32BitCoordinates = 1;
        }

        // A filter call without its record, slot or result word cannot be
        // answered; it is logged like any other.
        bool usable = record && data && result;
        if (selector == filterSelectorAbout) {
            DoAbout();
        } else if (!usable) {
            if (result)
                *result = piErrMissingParameter;
        } else {
            switch (selector) {
            case filterSelectorParameters:
                DoParameters();
                break;
            case filterSelectorPrepare:
                DoPrepare();
                break;
            case filterSelectorStart:
                DoStart();
                break;
            case filterSelectorContinue:
                DoContinue();
                break;
            case filterSelectorFinish:
                DoFinish();
                break;
            default:
                break;
            }
            UnlockHandles();
        }

        logger.Write(timer.GetElapsed(), true);
    } catch (...) {
        if (result)
            *result = piErrException;
        // Leave no block locked behind, and end the call's log line so the next
        // call starts its own.
        try {
            if (selector != filterSelectorAbout && record && data) {
                gFilterRecord = record;
                gDataHandle = data;
                UnlockHandles();
            }
            Logger logger("Spotweave");
            logger.Write("exception", true);
        } catch (...) {
        }
    }
}

// ---- handles ---------------------------------------------------------------------------

void LockHandles() {
    if (!gFilterRecord->parameters || !gDataHandle || *gDataHandle == 0) {
        *gResult = piErrMissingHandles;
        return;
    }
    const HandleProcs* procs = gFilterRecord->handleProcs;
    if (!procs || !procs->lockProc) {
        *gResult = piErrMemory;
        return;
    }
    gParams = reinterpret_cast<Parameters*>(procs->lockProc(gFilterRecord->parameters, true));
    gData = reinterpret_cast<Data*>(procs->lockProc(reinterpret_cast<Handle>(*gDataHandle), true));
    if (!gParams || !gData)
        *gResult = piErrMemory;
}

void UnlockHandles() {
    const HandleProcs* procs = gFilterRecord ? gFilterRecord->handleProcs : nullptr;
    if (procs && procs->unlockProc) {
        if (gDataHandle && *gDataHandle != 0)
            procs->unlockProc(reinterpret_cast<Handle>(*gDataHandle));
        if (gFilterRecord->parameters)
            procs->unlockProc(gFilterRecord->parameters);
    }
    gParams = nullptr;
    gData = nullptr;
}

// Allocates whichever block is missing; a failure sets -108.
static void allocate_handles() {
    const HandleProcs* procs = gFilterRecord->handleProcs;
    NewPIHandleProc new_handle = procs ? procs->newProc : nullptr;
    if (!gFilterRecord->parameters) {
        gFilterRecord->parameters = new_handle ? new_handle(int32(sizeof(Parameters))) : nullptr;
        if (!gFilterRecord->parameters)
            *gResult = piErrMemory;
    }
    if (*gDataHandle == 0) {
        Handle handle = new_handle ? new_handle(int32(sizeof(Data))) : nullptr;
        if (handle)
            *gDataHandle = reinterpret_cast<intptr_t>(handle);
        else
            *gResult = piErrMemory;
    }
}

// Locks both blocks and sets their defaults, unless a lock failed.
static void lock_and_initialise() {
    LockHandles();
    if (handles_locked()) {
        InitParameters();
        InitData();
    }
}

// ---- selectors ---------------------------------------------------------------------------

void DoParameters() {
    allocate_handles();
    if (*gResult == piNoErr)
        lock_and_initialise();
}

void DoPrepare() {
    if (gFilterRecord->parameters && *gDataHandle != 0) {
        LockHandles();
    } else {
        allocate_handles();
        if (*gResult == piNoErr)
            lock_and_initialise();
    }

    gFilterRecord->bufferSpace = 0;

    // Twice the pixels of one tile of the filter area, times the planes (and
    // the mask). An inverted rectangle counts as empty.
    VRect rect = GetFilterRect();
    int64_t width = int64_t(rect.right) - rect.left;
    int64_t height = int64_t(rect.bottom) - rect.top;
    width = width < 0 ? 0 : (width > PSDK_TILE_SIDE ? PSDK_TILE_SIDE : width);
    height = height < 0 ? 0 : (height > PSDK_TILE_SIDE ? PSDK_TILE_SIDE : height);
    int64_t planes = int64_t(gFilterRecord->planes) + (gFilterRecord->maskData ? 1 : 0);
    int64_t need = width * height * planes * 2;
    need = need < 0 ? 0 : (need > INT32_MAX ? INT32_MAX : need);
    if (gFilterRecord->maxSpace > need)
        gFilterRecord->maxSpace = int32(need);
}

void DoStart() {
    LockHandles();
    // Without its blocks the filter has nothing to work with; the result word
    // already says why.
    if (!handles_locked())
        return;
    ReadRegistryParameters();
    const Parameters saved = *gParams;
    auto restore = [&saved] {
        gParams->percent = saved.percent;
        gParams->disposition = saved.disposition;
        gParams->ignoreSelection = saved.ignoreSelection;
    };

    Boolean display = 0;
    if (ReadScriptParameters(&display) != piNoErr) {
        gData->queryForParameters = 0;
        DoFilter();
        return;
    }

    VRect rect = GetFilterRect();
    gr_image_s* image = psdk_image_get(rect);
    if (!image) {
        gData->queryForParameters = 0;
        restore();
        *gResult = piErrCancelled;
        return;
    }
    const uint32_t width = gr_image_get_width(image);
    const uint32_t height = gr_image_get_height(image);

    bool scaled = false;
    if (width > PSDK_PREVIEW_MAX_SIDE || height > PSDK_PREVIEW_MAX_SIDE) {
        gr_image_s* smaller = gr_filter_resize(image, PSDK_PREVIEW_MAX_SIDE, 0);
        gr_image_release(image);
        if (!smaller) {
            restore();
            *gResult = piErrMemory;
            return;
        }
        image = smaller;
        scaled = true;
    }

    gr_image_s* result = nullptr;
    int run = psdk_run_preview(image, &result);
    if (run != 1 && result) {
        gr_image_release(result);
        result = nullptr;
    }
    if (scaled && run != 0 && result) {
        gr_image_s* full = gr_filter_resize(result, width, height);
        gr_image_release(result);
        if (!full) {
            restore();
            *gResult = piErrMemory;
            return;
        }
        result = full;
    }

    if (run == 1 && result) {
        psdk_image_set(result);
        gr_image_release(result);
        return;
    }
    gData->queryForParameters = 0;
    if (run == 1) {
        DoFilter();
        return;
    }
    restore();
    *gResult = piErrCancelled;
}

void DoContinue() {
    const VRect empty = {0, 0, 0, 0};
    SetInRect(empty);
    SetOutRect(empty);
    SetMaskRect(empty);
}

void DoFinish() {
    LockHandles();
    if (!handles_locked())
        return;
    WriteScriptParameters();
    WriteRegistryParameters();
}

void DoFilter() {
    gr_image_s* image = psdk_image_get(GetFilterRect());
    if (!image)
        return;
    // Only 8-bit documents are converted; the others keep their pixels, and an
    // empty area has nothing to draw.
    if (gFilterRecord->depth != 8 || gr_image_get_width(image) == 0 ||
        gr_image_get_height(image) == 0) {
        gr_image_release(image);
        return;
    }
    // Out of memory at any stage leaves the document unchanged with -108.
    // The flow passes and the drawing read the tangents and the gradient
    // magnitude only, and the drawing the tangents alone: nothing else is kept.
    gr_complex* cx = gr_complex_create(image);
    bool ok = cx && gr_complex_compute_tangents(cx, 3, sst_progress, nullptr);
    for (int pass = 0; ok && pass < 3; pass++)
        ok = gr_complex_compute_etf(cx, 5);
    if (ok)
        gr_complex_release_tensor(cx, false);
    gr_image_s* lines = ok ? gr_filter_fDoG(image, cx, 5, 8, 8, 2, 0.98f, 0.9999f) : nullptr;
    if (lines)
        psdk_image_set(lines);
    else
        *gResult = piErrMemory;
    gr_complex_destroy(cx);
    gr_image_release(lines);
    gr_image_release(image);
}

// ---- rectangles --------------------------------------------------------------------------

static bool uses_32bit_rects() {
    return gFilterRecord->bigDocumentData &&
           gFilterRecord->bigDocumentData->PluginUsing32BitCoordinates != 0;
}

static VRect widen(const Rect& r) {
    return VRect{r.top, r.left, r.bottom, r.right};
}

static Rect narrow(const VRect& r) {
    return Rect{int16(r.top), int16(r.left), int16(r.bottom), int16(r.right)};
}

VRect GetFilterRect() {
    return uses_32bit_rects() ? gFilterRecord->bigDocumentData->filterRect32
                              : widen(gFilterRecord->filterRect);
}

VRect GetOutRect() {
    return uses_32bit_rects() ? gFilterRecord->bigDocumentData->outRect32
                              : widen(gFilterRecord->outRect);
}

void SetInRect(VRect rect) {
    if (uses_32bit_rects())
        gFilterRecord->bigDocumentData->inRect32 = rect;
    else
        gFilterRecord->inRect = narrow(rect);
}

void SetOutRect(VRect rect) {
    if (uses_32bit_rects())
        gFilterRecord->bigDocumentData->outRect32 = rect;
    else
        gFilterRecord->outRect = narrow(rect);
}

void SetMaskRect(VRect rect) {
    if (uses_32bit_rects())
        gFilterRecord->bigDocumentData->maskRect32 = rect;
    else
        gFilterRecord->maskRect = narrow(rect);
}

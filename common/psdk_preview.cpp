#include "common/psdk_preview.h"

#include "common/PluginMain.h"

static psdk_preview_fn psdk__preview_runner = nullptr;

int psdk_run_preview(gr_image_s* image, gr_image_s** result) {
    return psdk__preview_runner ? psdk__preview_runner(image, result)
                                : psdk_preview_dialog(image, result);
}

psdk_preview_fn psdk_preview_override(psdk_preview_fn run) {
    psdk_preview_fn previous = psdk__preview_runner;
    psdk__preview_runner = run;
    return previous;
}

void sst_progress(void* user, float fraction) {
    (void)user;
    // Out-of-range fractions (NaN included) would not convert to an integer.
    if (!(fraction >= 0.0f))
        fraction = 0.0f;
    if (fraction > 1.0f)
        fraction = 1.0f;
    if (gFilterRecord && gFilterRecord->progressProc)
        gFilterRecord->progressProc(int32(fraction * 100.0f), 100);
}

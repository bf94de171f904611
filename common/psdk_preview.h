#pragma once
// The interactive half of the start selector: the modal preview window in which
// the pattern grows on the filter area, and the host progress callback of the
// non-interactive filter.
//
// Thread: the host's calling thread (the main thread).

#include "gr/gr_image.h"

// A preview run: takes over image's reference and returns 1 for OK, with
// *result set to the result image (one reference for the caller) or to null
// when OK produced none; returns 0 for Cancel or a closed window, and -1 when
// no window can be opened (a line on standard error then says why); *result
// is untouched unless 1 is returned.
typedef int (*psdk_preview_fn)(gr_image_s* image, gr_image_s** result);

// Runs the preview on image as described for psdk_preview_fn: the runner set by
// psdk_preview_override, else psdk_preview_dialog.
int psdk_run_preview(gr_image_s* image, gr_image_s** result);

// The modal preview dialog itself (a psdk_preview_fn).
int psdk_preview_dialog(gr_image_s* image, gr_image_s** result);

// Makes psdk_run_preview call run instead of the dialog (null: the dialog
// again) and returns the runner it replaces. Lets tests drive the start
// selector without a window.
psdk_preview_fn psdk_preview_override(psdk_preview_fn run);

// Reports fraction (0..1) of the analysis to the host's progress procedure as
// fraction x 100 (truncated) of 100. user is not used.
void sst_progress(void* user, float fraction);

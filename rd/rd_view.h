#pragma once
// The simulation view: the preview window's large custom control. It shows the
// runner's picture (by the visualisation mode) centred, zoomed and panned;
// dragging paints fresh noise into the field, S saves the shown picture as a
// PNG file, P pauses and resumes, space restarts the field from noise. While
// the runner prepares it shows "Preparing n%".
//
// Thread: every message arrives under the window's context lock: input on the
// main thread, drawing on the frame thread.

#include "rd/rd_runner.h"
#include "ui/ui.h"

// Zoom and pan of content inside a control, in control units.
struct zoomer_s {
    float zoom;                 // content scale, within [RD_ZOOM_MIN, RD_ZOOM_MAX]; 1 at first
    float pan_x, pan_y;         // offset of the content's centre from the control's centre
    float x, y, w, h;           // content rectangle in the control, computed at each draw
    float content_w, content_h; // the content's natural size, set before each draw
};

constexpr float RD_ZOOM_MIN = 0.0625f;
constexpr float RD_ZOOM_MAX = 16.0f;

// Handles the zoomer's messages for control: create (zoom 1, pan 0), magnify
// about the gesture point, scroll to pan (both then clamp the pan), draw
// (computes the content rectangle). Returns false for any other message.
bool zoomer_view_proc(zoomer_s* zoomer, uic_s* control, int message, void* data);

// The view's message procedure; add it with ui_add_custom(ui, rd_process_view_proc,
// runner). The runner is not owned and must outlive the control.
int rd_process_view_proc(uic_s* control, int message, void* data);

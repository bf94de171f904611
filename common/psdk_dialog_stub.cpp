// Stand-in for the preview dialog until the window and the simulation view
// exist: it opens nothing and says so, and the start selector then leaves the
// document unchanged with the cancel code. The dialog replaces this file.

#include "app/app_log.h"
#include "common/psdk_preview.h"

int psdk_preview_dialog(gr_image_s* image, gr_image_s** result) {
    (void)result;
    gr_image_release(image);
    app_log("Spotweave: no preview window is available: this build has no preview dialog; "
            "the document is left unchanged.\n");
    return 0;
}

#pragma once
// The toolkit's fixed dark theme: colours and fonts shared by every widget.

#include "gr/gr_image.h"

// Returns the background colour the window is cleared with every frame.
gr_color_t ui_theme_color_fill();

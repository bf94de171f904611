#pragma once
// The toolkit's fixed dark theme: colours and fonts shared by every widget,
// and the codes of the glyphs in the icon font.

#include "gr/gr_image.h"

// Returns the face of buttons, list rows, segments and icon cells (0xff606060).
gr_color_t ui_theme_color_button();

// Returns the accent: a pressed button, the selected item, progress (orange).
gr_color_t ui_theme_color_key();

// Returns the input-field colour (0xff5d6773).
gr_color_t ui_theme_color_field();

// Returns the background colour the window is cleared with every frame.
gr_color_t ui_theme_color_fill();

// Returns the text colour: light when highlighted is 0, dark (for text on the
// accent colour) otherwise.
gr_color_t ui_theme_color_text(int highlighted);

// Registered font names: every control selects one of the two.
#define UI_FONT_TEXT "text"
#define UI_FONT_ICON "icon"

// Glyph codes of the icon font (one glyph at each of A-N and a-z).
enum : char {
    UI_ICON_PLAY = 'A',
    UI_ICON_PAUSE = 'B',
    UI_ICON_STOP = 'C',
    UI_ICON_PLUS = 'D',
    UI_ICON_MINUS = 'E',
    UI_ICON_ARROW_LEFT = 'F',
    UI_ICON_ARROW_RIGHT = 'G',
    UI_ICON_ARROW_UP = 'H',
    UI_ICON_ARROW_DOWN = 'I',
    UI_ICON_CHECK = 'J',
    UI_ICON_CROSS = 'K',
    UI_ICON_GEAR = 'L',
    UI_ICON_FOLDER = 'M',
    UI_ICON_SAVE = 'N',
    UI_ICON_ZOOM_IN = 'a',
    UI_ICON_ZOOM_OUT = 'b',
    UI_ICON_BRUSH = 'c',
    UI_ICON_DICE = 'd',
    UI_ICON_EYE = 'e',
    UI_ICON_GRID = 'f',
    UI_ICON_RECORD = 'g',
    UI_ICON_SKIP_FORWARD = 'h',
    UI_ICON_SKIP_BACK = 'i',
    UI_ICON_UNDO = 'j',
    UI_ICON_REDO = 'k',
    UI_ICON_HOME = 'l',
    UI_ICON_IMAGE = 'm',
    UI_ICON_STAR = 'n',
    UI_ICON_HEART = 'o',
    UI_ICON_REFRESH = 'p',
    UI_ICON_LOCK = 'q',
    UI_ICON_INFO = 'r',
    UI_ICON_SLIDERS = 's',
    UI_ICON_TRASH = 't',
    UI_ICON_UPLOAD = 'u',
    UI_ICON_DOWNLOAD = 'v',
    UI_ICON_MENU = 'w',
    UI_ICON_CLOSE = 'x',
    UI_ICON_FULL_SCREEN = 'y',
    UI_ICON_SQUARE = 'z',
};

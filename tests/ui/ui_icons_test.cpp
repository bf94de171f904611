// The icon codes the controls name against the icon font the program embeds.

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "app/app_resource.h"
#include "ui/ui_theme.h"

// A private, file-local copy of the rasteriser's font reader.
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include "stb_truetype.h"

namespace {

const char kIcons[] = {
    UI_ICON_PLAY,       UI_ICON_PAUSE,        UI_ICON_STOP,        UI_ICON_PLUS,
    UI_ICON_MINUS,      UI_ICON_ARROW_LEFT,   UI_ICON_ARROW_RIGHT, UI_ICON_ARROW_UP,
    UI_ICON_ARROW_DOWN, UI_ICON_CHECK,        UI_ICON_CROSS,       UI_ICON_GEAR,
    UI_ICON_FOLDER,     UI_ICON_SAVE,         UI_ICON_ZOOM_IN,     UI_ICON_ZOOM_OUT,
    UI_ICON_BRUSH,      UI_ICON_DICE,         UI_ICON_EYE,         UI_ICON_GRID,
    UI_ICON_RECORD,     UI_ICON_SKIP_FORWARD, UI_ICON_SKIP_BACK,   UI_ICON_UNDO,
    UI_ICON_REDO,       UI_ICON_HOME,         UI_ICON_IMAGE,       UI_ICON_STAR,
    UI_ICON_HEART,      UI_ICON_REFRESH,      UI_ICON_LOCK,        UI_ICON_INFO,
    UI_ICON_SLIDERS,    UI_ICON_TRASH,        UI_ICON_UPLOAD,      UI_ICON_DOWNLOAD,
    UI_ICON_MENU,       UI_ICON_CLOSE,        UI_ICON_FULL_SCREEN, UI_ICON_SQUARE,
};

TEST(UiIcons, TheNamedCodesAreExactlyTheFontsCodes) {
    std::set<char> named(std::begin(kIcons), std::end(kIcons)), codes;
    for (char c = 'A'; c <= 'N'; c++)
        codes.insert(c);
    for (char c = 'a'; c <= 'z'; c++)
        codes.insert(c);
    EXPECT_EQ(named.size(), sizeof kIcons); // no code named twice
    EXPECT_EQ(named, codes);
}

TEST(UiIcons, EveryNamedIconHasAVisibleGlyphInTheEmbeddedFont) {
    unsigned size = 0;
    auto* data = static_cast<unsigned char*>(app_resource_load("pixelwrenicons", &size));
    ASSERT_NE(data, nullptr);
    stbtt_fontinfo font;
    ASSERT_TRUE(stbtt_InitFont(&font, data, stbtt_GetFontOffsetForIndex(data, 0)));
    for (char code : kIcons) {
        const int glyph = stbtt_FindGlyphIndex(&font, code);
        EXPECT_NE(glyph, 0) << code;
        EXPECT_FALSE(stbtt_IsGlyphEmpty(&font, glyph)) << code;
        int advance = 0, bearing = 0;
        stbtt_GetGlyphHMetrics(&font, glyph, &advance, &bearing);
        EXPECT_GT(advance, 0) << code;
    }
    // The font holds nothing else a control could ask for by mistake.
    for (char code : {'O', 'Z', '0', '~'})
        EXPECT_EQ(stbtt_FindGlyphIndex(&font, code), 0) << code;
    std::free(data);
}

} // namespace

// The controls' state machines, driven through routing; every control sits at the root's corner.

#include <cmath>
#include <cstdlib>

#include "gr/gr_color.h"
#include "ui/ui_controls.h"
#include "ui/ui_media.h"
#include "ui/ui_select.h"
#include "ui_test_util.h"

namespace {

class UiControls : public UiTest {
protected:
    // Gives control a forced size and lays the UI out.
    uic_s* sized(uic_s* control, float w, float h) {
        ui_layout_dims(ui, control, w, h);
        layout();
        return control;
    }
    void click(float x0, float y0, float x1, float y1) {
        ui_mouse_down(ui, 0, 0, x0, y0);
        ui_mouse_up(ui, 0, 0, x1, y1);
    }
};

TEST_F(UiControls, ButtonFiresOnlyOnAReleaseInsideAfterAPressOnIt) {
    const struct {
        const char* what;
        bool side;
        float down_x, up_x, up_y;
        const char* want;
    } cases[] = {
        {"click", false, 100, 100, 24, "main"},
        {"dragged out", false, 100, 250, 24, ""},
        {"released on the bottom edge", false, 100, 100, 48, ""},
        {"pressed outside", false, 250, 100, 24, ""},
        {"side zone", true, 100, 190, 24, "side"},
        {"left of the side zone", true, 100, 175, 24, "main"},
        {"no side action", false, 100, 190, 24, "main"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reset();
        std::string fired;
        uic_s* b = ui_add_button(
            ui, "OK", [](void* u) { *static_cast<std::string*>(u) += "main"; }, &fired);
        if (c.side)
            ui_button_side(
                ui, b, [](void* u) { *static_cast<std::string*>(u) += "side"; }, &fired);
        sized(b, 200, 48);
        click(c.down_x, 24, c.up_x, c.up_y);
        EXPECT_EQ(fired, c.want);
        EXPECT_FALSE(uic_mouse_captured(b));
    }
}

TEST_F(UiControls, ButtonCallbackMayDestroyTheWholeUi) {
    uic_s* b = ui_add_button(
        ui, "Cancel", [](void* u) { ui_destroy(*static_cast<ui_s**>(u)); }, &ui);
    sized(b, 100, 48);
    click(50, 24, 50, 24);
    ui = nullptr; // freed by the click
}

// Track 200 x 24 (or 120 after an 80-point label): the knob's centre travels
// from x0 + 12 to x0 + TW - 12, and t is raised to the exponent.
TEST_F(UiControls, SliderValueFromThePointerWithExponentAndClamping) {
    const struct {
        const char* label;
        float width, exponent, x, want;
    } cases[] = {
        {"", 200, 2, 100, 2.5f}, {"", 200, 2, 5, 0},        {"", 200, 2, 195, 10},
        {"", 200, 1, 100, 5},    {"", 200, 0.5f, 56, 5},    {"Size", 200, 1, 140, 5},
        {"Size", 200, 1, 80, 0}, {"Size", 200, 1, 199, 10}, {"", 24, 1, 20, 0},
    };
    for (const auto& c : cases) {
        reset();
        uic_s* s = ui_add_slider(ui, c.label, "amount", 0, 10);
        ui_slider_set_exp(s, c.exponent);
        sized(s, c.width, 24);
        ui_model_set_float(model, "amount", -1);
        click(c.x, 12, c.x, 12);
        EXPECT_FLOAT_EQ(ui_model_get_float(model, "amount"), c.want)
            << c.label << " w" << c.width << " e" << c.exponent << " x" << c.x;
    }
}

TEST_F(UiControls, SliderFollowsTheDragOnlyWhilePressed) {
    uic_s* s = sized(ui_add_slider(ui, "", "v", 0, 10), 200, 24);
    ui_mouse_move(ui, 0, 188, 12);
    EXPECT_EQ(ui_model_get_float(model, "v"), 0); // not dragging: nothing written
    ui_mouse_down(ui, 0, 0, 12, 12);
    EXPECT_EQ(ui_model_get_float(model, "v"), 0);
    ui_mouse_move(ui, 0, 500, 90); // far outside: still ours, clamped
    EXPECT_EQ(ui_model_get_float(model, "v"), 10);
    ui_mouse_up(ui, 0, 0, 100, 12);
    EXPECT_EQ(ui_model_get_float(model, "v"), 5);
    EXPECT_FALSE(uic_mouse_captured(s));
    ui_mouse_move(ui, 0, 12, 12);
    EXPECT_EQ(ui_model_get_float(model, "v"), 5);
}

TEST_F(UiControls, CheckboxTogglesItsOwnStateOnEveryPress) {
    ui_model_set_bool(model, "on", true);
    uic_s* box = sized(ui_add_checkbox(ui, "Wrap", "on"), 200, 24);
    ui_model_set_bool(model, "on", false); // read only when added: the box stays checked
    const struct {
        float up_x;
        bool want;
    } presses[] = {{10, false}, {500, true}, {10, false}};
    for (const auto& p : presses) {
        ui_mouse_down(ui, 0, 0, 10, 10);
        EXPECT_EQ(ui_model_get_bool(model, "on"), p.want);
        ui_mouse_up(ui, 0, 0, p.up_x, 10); // releasing outside changes nothing
        EXPECT_EQ(ui_model_get_bool(model, "on"), p.want);
        EXPECT_FALSE(uic_mouse_captured(box));
    }
}

const char* kItems[] = {"one", "two", "three", "four", "five", "six", "seven"};

// A list of 3, a grid of 7 icons, a row of 3, a wizard of 4 steps, a segment of 3.
enum Kind { LIST, GRID, ROW, WIZARD, SEGMENT };
uic_s* (*const kAdd[])(ui_s*) = {
    [](ui_s* u) { return ui_add_list(u, 3, kItems, "sel"); },
    [](ui_s* u) { return ui_add_icon_set(u, 7, kItems, nullptr, "sel", 0); },
    [](ui_s* u) { return ui_add_icon_set(u, 3, kItems, nullptr, "sel", UI_ICON_SET_ROW); },
    [](ui_s* u) { return ui_add_wizard(u, 4, kItems, "sel"); },
    [](ui_s* u) { return ui_add_segment(u, 3, kItems, "sel"); },
};

TEST_F(UiControls, IndexControlsWriteTheChosenIndexAsAFloat) {
    const struct {
        const char* what;
        Kind kind;
        float w, h, down_x, down_y, up_x, up_y;
        float want; // 42: nothing written
    } cases[] = {
        // List: rows (5, 36 i, W - 10, 36).
        {"list row 1", LIST, 200, 300, 100, 50, 100, 50, 1},
        {"list below the rows", LIST, 200, 300, 100, 50, 100, 120, 42},
        {"list margin", LIST, 200, 300, 100, 50, 2, 50, 42},
        {"list released without a press", LIST, 200, 300, 100, 350, 100, 50, 42},
        // Grid 310 wide: cells of 100 at 0, 105, 210.
        {"grid middle", GRID, 310, 310, 150, 150, 150, 150, 4},
        {"grid gap", GRID, 310, 310, 102, 50, 102, 50, 42},
        {"grid empty cell", GRID, 310, 310, 215, 215, 215, 215, 42},
        // Row 300 wide, 3 items: segments 100.67 wide at 0, 99.67, 199.33.
        {"row shared border", ROW, 300, 24, 99.8f, 10, 99.8f, 10, 0},
        {"row second", ROW, 300, 24, 100.7f, 10, 100.7f, 10, 1},
        {"row last, past the second's end", ROW, 300, 24, 200.5f, 10, 200.5f, 10, 2},
        // Wizard of 4 steps, 400 wide: step = trunc(4 x / 400).
        {"wizard same step", WIZARD, 400, 40, 150, 20, 190, 20, 1},
        {"wizard other step", WIZARD, 400, 40, 150, 20, 210, 20, 42},
        {"wizard released outside", WIZARD, 400, 40, 10, 20, -5, 20, 42},
        {"segment", SEGMENT, 300, 32, 250, 10, 299, 10, 2},
        {"segment other part", SEGMENT, 300, 32, 50, 10, 150, 10, 42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reset();
        uic_s* control = sized(kAdd[c.kind](ui), c.w, c.h);
        ui_model_set_float(model, "sel", 42);
        click(c.down_x, c.down_y, c.up_x, c.up_y);
        EXPECT_EQ(ui_model_get_float(model, "sel"), c.want);
        EXPECT_FALSE(uic_mouse_captured(control));
    }
}

TEST_F(UiControls, IconGridMeasuresRowsOfSquareCells) {
    const struct {
        int count;
        float offered, want;
    } cases[] = {{7, 310, 310}, {3, 310, 100}, {4, 160, 105}, {0, 310, 0}};
    for (const auto& c : cases) {
        uic_s* set = ui_add_icon_set(ui, c.count, kItems, nullptr, "sel", 0);
        uic_measure_s m = {nullptr, c.offered, 999};
        uic_msg_send(set, UIC_MSG_MEASURE, &m);
        EXPECT_EQ(m.width, -1);
        EXPECT_FLOAT_EQ(m.height, c.want) << c.count;
    }
}

// A 300 x 300 well: centre (150, 150), square half-side
// r = 0.35355338 * 300 - 25.455843 = 80.61, swatch at (277.5, 22.5).
class UiColorWell : public UiControls {
protected:
    void SetUp() override {
        UiControls::SetUp();
        well = sized(ui_add_color(ui, "c"), 300, 300);
    }
    void set_model(int r, int g, int b) {
        ui_model_set_float(model, "c.r", float(r));
        ui_model_set_float(model, "c.g", float(g));
        ui_model_set_float(model, "c.b", float(b));
        layout();
    }
    // Channels agree within the 8-bit rounding of a trip through HSV.
    static bool near(gr_color_t a, gr_color_t b) {
        for (int shift = 0; shift < 24; shift += 8)
            if (std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)) > 1)
                return false;
        return true;
    }
    gr_color_t written() {
        return 0xff000000u | gr_color_t(ui_model_get_int(model, "c.r")) << 16 |
               gr_color_t(ui_model_get_int(model, "c.g")) << 8 |
               gr_color_t(ui_model_get_int(model, "c.b"));
    }
    static constexpr float kR = 0.35355338f * 300 - 25.455843f;
    uic_s* well = nullptr;
};

TEST_F(UiColorWell, TheDragModeComesFromWhereThePressLands) {
    const struct {
        const char* what;
        float down_x, down_y, up_x, up_y;
        gr_color_t want;
    } cases[] = {
        // Square: s and v from the point; the centre is s = v = 0.5 of red.
        {"square centre", 150, 150, 150, 150, 0xff7f3f3f},
        {"square corner, dragged past it", 150, 150, 400, -100, 0xffff0000},
        {"square bottom left", 150 + kR, 150 - kR, 150 - kR, 150 + kR, 0xff000000},
        // Ring: hue is the angle of (x - 150, 150 - y), counter-clockwise.
        {"ring top", 290, 150, 150, 10, 0xff7fff00},
        {"ring left", 290, 150, 10, 150, 0xff00ffff},
        {"ring below", 290, 150, 150, 290, 0xff7f00ff},
        // The press decides: a drag from the ring released at the centre
        // still sets the hue (the angle of (0, 0) is 0).
        {"ring press, square release", 290, 150, 150, 150, 0xffff0000},
        // Swatch: back to the stored colour (red, from the model).
        {"swatch", 277.5f, 22.5f, 277.5f, 22.5f, 0xffff0000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        set_model(255, 0, 0);
        ui_mouse_move(ui, 0, 5, 5); // no press: no mode, nothing written
        EXPECT_EQ(written(), 0xffff0000u);
        click(c.down_x, c.down_y, c.up_x, c.up_y);
        EXPECT_EQ(written(), c.want);
        EXPECT_EQ(ui_color_get(well), c.want);
        EXPECT_FALSE(uic_mouse_captured(well));
    }
}

TEST_F(UiColorWell, TheSwatchRestoresTheStoredColour) {
    set_model(255, 0, 0);
    click(290, 150, 10, 150); // cyan
    ui_color_store(well);
    click(290, 150, 150, 10); // chartreuse
    EXPECT_EQ(written(), 0xff7fff00u);
    click(277.5f, 22.5f, 277.5f, 22.5f);
    EXPECT_EQ(written(), 0xff00ffffu);
    set_model(10, 20, 30); // a colour from the model becomes the stored one too
    click(290, 150, 10, 150);
    EXPECT_NE(written(), 0xff0a141eu);
    click(277.5f, 22.5f, 277.5f, 22.5f);
    EXPECT_TRUE(near(written(), 0xff0a141e));
}

// A colour picked again at its own saturation and value comes back within 8-bit rounding.
TEST_F(UiColorWell, HueSaturationValueRoundTrip) {
    const gr_color_t colours[] = {0xffff8000, 0xff0ac85a, 0xff808080, 0xff0000ff, 0xff123456};
    for (gr_color_t c : colours) {
        set_model((c >> 16) & 0xff, (c >> 8) & 0xff, c & 0xff);
        EXPECT_EQ(ui_color_get(well), c);
        float hsv[3];
        gr_color_to_hsv(c, hsv);
        const float x = 150 - kR + hsv[1] * 2 * kR, y = 150 + kR - hsv[2] * 2 * kR;
        click(150, 150, x, y); // pressed in the square; corners may round outside it
        EXPECT_TRUE(near(written(), c)) << std::hex << c << " -> " << written();
    }
}

} // namespace

// Input routing: hit testing, hover, capture, keys, scroll and gestures, the popover.

#include <cmath>

#include "ui/ui_controls.h"
#include "ui/ui_input.h"
#include "ui/ui_popover.h"
#include "ui_test_util.h"

namespace {

using Log = std::vector<std::string>;

// C, a 200 x 200 control at the root's corner, and over it (added later) a
// row 50 high holding A (0..100) and B (100..200).
class UiInput : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        c = add_probe(ui, &pc);
        row = ui_layout_push_horizontal(ui, 0);
        a = add_probe(ui, &pa);
        b = add_probe(ui, &pb);
        ui_layout_pop(ui);
        layout(640, 480);
        log.clear();
    }
    Log log;
    Probe pa{.name = "A", .w = 100, .h = 50, .log = &log};
    Probe pb{.name = "B", .w = 100, .h = 50, .log = &log};
    Probe pc{.name = "C", .w = 200, .h = 200, .log = &log};
    uic_s *a = nullptr, *b = nullptr, *c = nullptr, *row = nullptr;
};

TEST_F(UiInput, HitTestPicksTheLastSiblingAndExcludesFarEdges) {
    const struct {
        float x, y;
        uic_s* want;
    } cases[] = {
        {50, 25, a},    {99.9f, 25, a}, {100, 25, b}, {199, 49, b},
        {200, 25, row}, {250, 25, row}, {50, 50, c},  {199, 199, c},
    };
    for (const auto& k : cases)
        EXPECT_EQ(ui_hit_test(ui, k.x, k.y), k.want) << k.x << "," << k.y;
    // Nothing contains the point: the root, which is no probe.
    uic_s* root = ui_hit_test(ui, 400, 400);
    EXPECT_TRUE(root != a && root != b && root != c && root != row);
    EXPECT_EQ(ui_hit_test(ui, INFINITY, INFINITY), root);
}

TEST_F(UiInput, HoverFollowsTheMouseWithLeaveBeforeEnter) {
    ui_mouse_move(ui, 0, 50, 25);
    ui_mouse_move(ui, 0, 60, 25);
    ui_mouse_move(ui, 0, 150, 25);
    ui_mouse_move(ui, 0, 250, 25); // over the row itself, between children
    EXPECT_EQ(log, (Log{"A:enter", "A:move", "A:move", "A:leave", "B:enter", "B:move", "B:leave"}));
    EXPECT_EQ(pb.last_x, 50);
    EXPECT_EQ(pb.last_y, 25);
}

TEST_F(UiInput, CaptureKeepsMovesAndTheReleaseWithThePressedControl) {
    pa.captures = true;
    ui_mouse_move(ui, 0, 50, 25);
    ui_mouse_down(ui, 0, 0, 50, 25);
    ui_mouse_move(ui, 0, 150, 25); // over B: B hears nothing
    ui_mouse_up(ui, 0, 0, 150, 300);
    EXPECT_EQ(pa.last_x, 150); // local to A, outside it
    EXPECT_EQ(pa.last_y, 300);
    ui_mouse_move(ui, 0, 151, 25); // released: the hover catches up
    EXPECT_EQ(log, (Log{"A:enter", "A:move", "A:down", "A:move", "A:up", "A:leave", "B:enter",
                        "B:move"}));
}

TEST_F(UiInput, RemovingTheCaptureHolderFallsBackToHitTesting) {
    pa.captures = true;
    ui_mouse_down(ui, 0, 0, 50, 25);
    uic_remove(a);
    log.clear();
    layout(640, 480); // B moves into A's place
    ui_mouse_down(ui, 0, 0, 50, 25);
    EXPECT_EQ(log, (Log{"B:down"}));
}

TEST_F(UiInput, KeysGoToHotKeysThenTheCaptureThenTheControlUnderTheMouse) {
    Log hot;
    auto fire = [](void* user, unsigned key, unsigned mods) {
        static_cast<Log*>(user)->push_back(std::to_string(key) + "/" + std::to_string(mods));
    };
    ui_hotkey_register(
        ui, 1, 0, [](void*, unsigned, unsigned) { FAIL() << "shadowed"; }, &hot);
    ui_hotkey_register(ui, 1, 0, fire, &hot);
    ui_hotkey_register(ui, 2, UI_MOD_SHIFT, fire, &hot);
    ui_mouse_move(ui, 0, 150, 25); // over B
    log.clear();
    ui_key_down(ui, 1, 0);            // the newest hot key only
    ui_key_down(ui, 2, UI_MOD_SHIFT); // hot key with its modifier
    ui_key_down(ui, 2, 0);            // without it: B
    ui_key_up(ui, 1, 0);              // releases are never hot keys
    EXPECT_EQ(hot, (Log{"1/0", "2/4"}));
    EXPECT_EQ(log, (Log{"B:keydown", "B:keyup"}));
    pa.captures = true;
    ui_mouse_down(ui, 0, 0, 50, 25);
    ui_key_down(ui, 5, 0);
    EXPECT_EQ(log.back(), "A:keydown");
}

TEST_F(UiInput, ScrollAndGesturesGoWhereTheMouseLastWas) {
    const struct {
        void (*send)(ui_s*, float, float);
        int message;
    } cases[] = {
        {[](ui_s* u, float x, float y) { ui_scroll(u, x, y, 1, 2); }, UIC_MSG_SCROLL},
        {[](ui_s* u, float x, float y) { ui_magnify(u, x, y, 0.5f); }, UIC_MSG_MAGNIFY},
        {[](ui_s* u, float x, float y) { ui_rotate(u, x, y, 0.5f); }, UIC_MSG_ROTATE},
    };
    for (const auto& k : cases) {
        // Before any mouse event the root gets it; then the control under the last position.
        k.send(ui, 150, 25);
        EXPECT_EQ(pb.messages[k.message], 0);
    }
    ui_mouse_move(ui, 0, 150, 25);
    for (const auto& k : cases) {
        k.send(ui, 50, 25);
        EXPECT_EQ(pb.messages[k.message], 1);
        EXPECT_EQ(pa.messages[k.message], 0);
    }
    EXPECT_EQ(pb.last_x, -50); // the scroll's own position, local to B
    EXPECT_EQ(ui_stylus_move(ui, 50, 25, 1, 2, 3), 1);
    EXPECT_EQ(pa.messages[UIC_MSG_STYLUS_MOVE], 1);
}

// The content's first child lays out 320 x 100, so the box is 320 x 120 and
// sits 10 above the anchor: (200 - 160, 300 - 10 - 120).
TEST_F(UiInput, PopoverPlacesItsBoxAndClosesOnAClickOutside) {
    const struct {
        float anchor_x;
        float want_x;
    } cases[] = {{200, 40}, {600, 320}, {50, 0}}; // 760 and -110 are moved inside
    for (const auto& k : cases) {
        ui_s* content = ui_create(model);
        Log inner;
        Probe item{.name = "item", .h = 100, .log = &inner};
        ui_layout_push_vertical(content, 0);
        add_probe(content, &item);
        ui_layout_pop(content);
        uic_s* pop = ui_popover_present(ui, content, UI_POPOVER_OWNS_CONTENT, k.anchor_x, 300);
        layout(640, 480);
        expect_rect(ui_popover_box(pop), k.want_x, 170, 320, 120);
        ui_layout_run(content, nullptr, k.want_x + 10, 180, 300, 100); // as the draw does
        log.clear();
        ui_mouse_move(ui, 0, k.want_x + 20, 200);
        ui_mouse_down(ui, 0, 0, k.want_x + 20, 200); // inside: reaches the content
        ui_key_down(ui, 7, 0);
        EXPECT_EQ(item.last_x, 10);
        EXPECT_EQ(item.last_y, 20);
        ui_mouse_down(ui, 0, 0, 50, 25); // outside: closes, A hears nothing
        EXPECT_TRUE(log.empty());
        EXPECT_EQ(inner, (Log{"item:create", "item:enter", "item:move", "item:down", "item:keydown",
                              "item:destroy"}));
        ui_mouse_down(ui, 0, 0, 50, 25); // routing is back to normal
        EXPECT_EQ(log, (Log{"A:down"}));
    }
}

// A button closing the popover frees its own content while the click is passed on.
TEST_F(UiInput, PopoverContentMayCloseThePopover) {
    ui_s* content = ui_create(model);
    uic_s* pop = nullptr;
    ui_layout_push_vertical(content, 0);
    ui_add_button(
        content, "Close", [](void* u) { uic_remove(*static_cast<uic_s**>(u)); }, &pop);
    ui_layout_pop(content);
    pop = ui_popover_present(ui, content, UI_POPOVER_OWNS_CONTENT, 200, 300);
    layout(640, 480);
    const ui_rect_s box = ui_popover_box(pop); // 48 high content: (40, 222, 320, 68)
    ui_layout_run(content, nullptr, box.x + 10, box.y + 10, box.width - 20, box.height - 20);
    ui_mouse_down(ui, 0, 0, 100, 250);
    ui_mouse_up(ui, 0, 0, 100, 250);
    ui_mouse_down(ui, 0, 0, 50, 25);
    EXPECT_EQ(log, (Log{"A:down"}));
}

} // namespace

// Layout numbers worked out by hand from the stacking rules, and the tree's rules.

#include <cmath>

#include "ui_test_util.h"

namespace {

struct Child {
    float size; // natural height (vertical) or width (horizontal)
    float weight;
    bool answers;
    float want_pos, want_size;
};

struct StackCase {
    const char* what;
    bool vertical;
    float spacing, extent; // the stack's height (vertical) or width
    std::vector<Child> children;
};

class UiLayout : public UiTest {};

TEST_F(UiLayout, StacksShareTheRemainderByWeight) {
    const StackCase cases[] = {
        {"fixed then weighted", true, 10, 200, {{30, 1, true, 0, 30}, {-1, 1, true, 40, 160}}},
        {"a silent child keeps the whole offer", true, 10, 200, {{0, 1, false, 0, 200}}},
        // A child measuring 0 adds its weight but is placed 0 high.
        {"zero height still weighs", true, 0, 100, {{0, 1, true, 0, 0}, {-1, 1, true, 0, 50}}},
        {"split by weight", true, 4, 100, {{-1, 1, true, 0, 24}, {-1, 3, true, 28, 72}}},
        // 300 - 80 - 80 - 5 = 135 left; each grows by half of it.
        {"plus share", false, 5, 300, {{80, .5f, 1, 0, 147.5f}, {80, .5f, 1, 152.5f, 147.5f}}},
        {"weight 1 keeps the width", false, 5, 300, {{80, 1, true, 0, 80}, {80, 1, true, 85, 80}}},
        // fixed 50 + 5; the weighted child takes the 245 left.
        {"fixed and flexible", false, 5, 300, {{50, 1, true, 0, 50}, {-1, 1, true, 55, 245}}},
        {"not a number: no preference", false, 0, 100, {{NAN, 1, true, 0, 100}}},
    };
    for (const StackCase& c : cases) {
        SCOPED_TRACE(c.what);
        reset();
        uic_s* stack = c.vertical ? ui_layout_push_vertical(ui, c.spacing)
                                  : ui_layout_push_horizontal(ui, c.spacing);
        std::vector<uic_s*> nodes;
        for (const Child& ch : c.children) {
            Probe* p = keep({.answers = ch.answers});
            (c.vertical ? p->h : p->w) = ch.size;
            ui_layout_weight(ui, ch.weight);
            nodes.push_back(add_probe(ui, p));
        }
        ui_layout_pop(ui);
        ui_layout_dims(ui, stack, c.vertical ? 120 : c.extent, c.vertical ? c.extent : 40);
        layout();
        for (size_t i = 0; i < nodes.size(); i++) {
            const ui_rect_s r = ui_frame_get(ui, nodes[i]);
            const Child& ch = c.children[i];
            if (c.vertical)
                expect_rect(r, 0, ch.want_pos, 120, ch.want_size);
            else
                expect_rect(r, ch.want_pos, 0, ch.want_size, 40);
        }
    }
}

// The dialog's shape: a padded vertical stack over a view and a row of two
// buttons. Stack: (10, 10, 620, 460). The row measures 48 (its tallest child),
// so the view gets 460 - 48 - 10 = 402 and the row sits at 412. Row width 620:
// 620 - 80 - 80 - 5 = 455 left, each button 80 + 227.5 = 307.5 wide.
TEST_F(UiLayout, NestedStacksWithPaddingSpacingAndWeights) {
    uic_s* column = ui_layout_push_vertical(ui, 10);
    ui_layout_pad(ui, column, 10, 10, 10, 10);
    uic_s* v = add_probe(ui, keep({}));
    ui_layout_push_horizontal(ui, 5);
    ui_layout_weight(ui, 0.5f);
    uic_s* a = add_probe(ui, keep({.w = 80, .h = 48}));
    ui_layout_weight(ui, 0.5f);
    uic_s* b = add_probe(ui, keep({.w = 80, .h = 48}));
    ui_layout_pop(ui);
    ui_layout_pop(ui);
    layout(640, 480);
    expect_rect(ui_frame_get(ui, column), 10, 10, 620, 460);
    expect_rect(ui_frame_get(ui, v), 10, 10, 620, 402);
    expect_rect(ui_frame_get(ui, a), 10, 422, 307.5f, 48);
    expect_rect(ui_frame_get(ui, b), 322.5f, 422, 307.5f, 48);
}

TEST_F(UiLayout, RowMeasuresItsTallestChildOfferedNothing) {
    struct Case {
        std::vector<Probe> kids;
        float want_h;
    };
    Case cases[] = {
        {{}, -1},
        {{Probe{.w = 10, .h = 30}, Probe{.w = 10, .h = 48}}, 48},
        {{Probe{.h = -1}, Probe{.h = -5}}, -1},
        {{Probe{.h = -1}, Probe{.answers = false}}, 0}, // silent child: offered 0
    };
    for (Case& c : cases) {
        reset();
        uic_s* row = ui_layout_push_horizontal(ui, 5);
        for (const Probe& p : c.kids) {
            uic_s* n = add_probe(ui, keep(p));
            ui_layout_dims(ui, n, 100, 100); // forced sizes are not consulted
        }
        uic_measure_s m = {nullptr, 500, 500};
        uic_msg_send(row, UIC_MSG_MEASURE, &m);
        EXPECT_EQ(m.width, -1.0f);
        EXPECT_EQ(m.height, c.want_h);
    }
}

TEST_F(UiLayout, PaddingForcedSizesAndTheRootAnchor) {
    uic_s* padded = add_probe(ui, keep({}));
    ui_layout_pad(ui, padded, 10, 10, 10, 10);
    uic_s* half = add_probe(ui, keep({.w = 50, .h = 60}));
    ui_layout_dims(ui, half, 0, 200); // one zero: no effect, measured as usual
    uic_s* forced = add_probe(ui, keep({.w = 50, .h = 60}));
    ui_layout_dims(ui, forced, 30, 20);
    layout(640, 480);
    expect_rect(ui_frame_get(ui, padded), 10, 10, 620, 460);
    expect_rect(ui_frame_get(ui, half), 0, 0, 50, 60);
    expect_rect(ui_frame_get(ui, forced), 0, 0, 30, 20);
    float dims[2] = {-7, -7};
    EXPECT_FALSE(uic_get_forced_dims(half, dims));
    EXPECT_EQ(dims[0], -7);
    EXPECT_TRUE(uic_get_forced_dims(forced, dims));
    EXPECT_EQ(dims[0], 30);
    EXPECT_EQ(dims[1], 20);
}

TEST_F(UiLayout, PendingWeightAcrossAddsPushesAndPops) {
    ui_layout_weight(ui, 0.5f);
    uic_s* a = add_probe(ui, keep({}));
    uic_s* b = add_probe(ui, keep({}));
    uic_s* row = ui_layout_push_horizontal(ui, 0); // takes 0.5, then resets to 1
    uic_s* c = add_probe(ui, keep({}));
    ui_layout_weight(ui, 2);
    ui_layout_pop(ui);
    uic_s* d = add_probe(ui, keep({}));
    ui_layout_weight(ui, 3);
    ui_layout_push(ui, row); // an existing control: the weight stays
    uic_s* e = add_probe(ui, keep({}));
    ui_layout_pop(ui);
    const float want[] = {0.5f, 0.5f, 0.5f, 1, 1, 3};
    uic_s* nodes[] = {a, b, row, c, d, e};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(uic_get_layout_weight(nodes[i]), want[i]) << i;
    EXPECT_EQ(uic_child_next(row, nullptr), c);
    EXPECT_EQ(uic_child_next(row, c), e);
    EXPECT_EQ(uic_child_next(row, e), nullptr);
}

TEST_F(UiLayout, FillGivesEveryChildTheWholeArea) {
    Probe* a = keep({.w = 10, .h = 10});
    uic_s* fill = ui_layout_push_fill(ui);
    ui_layout_pad(ui, fill, 0, 20, 0, 0);
    uic_s* na = add_probe(ui, a);
    uic_s* nb = add_probe(ui, keep({}));
    ui_layout_pop(ui);
    layout(300, 200);
    expect_rect(ui_frame_get(ui, na), 0, 20, 300, 180);
    expect_rect(ui_frame_get(ui, nb), 0, 20, 300, 180);
    EXPECT_EQ(a->messages[UIC_MSG_MEASURE], 0);
}

TEST_F(UiLayout, ChildBoundsSkipEmptyChildren) {
    uic_s* parent = ui_layout_push_fill(ui);
    ui_layout_pop(ui);
    expect_rect(uic_get_child_bounds(parent), 0, 0, 0, 0);
    ui_layout_push(ui, parent);
    uic_s* n[4];
    for (int i = 0; i < 4; i++)
        n[i] = add_probe(ui, keep({}));
    ui_layout_pop(ui);
    uic_place(n[0], {10, 10}, {20, 20});
    uic_place(n[1], {0, 0}, {0, 100}); // zero width: skipped
    uic_place(n[2], {50, 5}, {10, 10});
    uic_place(n[3], {-5, 25}, {5, 10});
    expect_rect(uic_get_child_bounds(parent), -5, 5, 65, 30);
    const ui_point_s s = uic_local_to_screen(n[2], {1, 2});
    EXPECT_EQ(s.x, 51);
    EXPECT_EQ(s.y, 7);
}

TEST_F(UiLayout, TreeCreatesOnceAndFreesChildrenFirst) {
    std::vector<std::string> log;
    uic_s* o = add_probe(ui, keep({.name = "outer", .log = &log}));
    ui_layout_push(ui, o);
    add_probe(ui, keep({.name = "inner", .log = &log}));
    ui_layout_pop(ui);
    add_probe(ui, keep({.name = "other", .log = &log}));
    // A custom control gets its user pointer with create and never setup.
    EXPECT_EQ(log, (std::vector<std::string>{"outer:create", "inner:create", "other:create"}));
    log.clear();
    uic_remove(o);
    EXPECT_EQ(log, (std::vector<std::string>{"inner:destroy", "outer:destroy"}));
    log.clear();
    ui_destroy(ui);
    ui = nullptr;
    EXPECT_EQ(log, (std::vector<std::string>{"other:destroy"}));
    ui_destroy(nullptr);
    ui_model_set_int(model, "still", 4); // the model outlives the UI
    EXPECT_EQ(ui_model_get_int(model, "still"), 4);
}

} // namespace

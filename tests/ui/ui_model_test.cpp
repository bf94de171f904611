// The dynamic model: typed reads, int through float, observer order, key length and case.

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui/ui_model.h"

namespace {

class UiModel : public ::testing::Test {
protected:
    void SetUp() override { m = ui_model_create(); }
    void TearDown() override { ui_model_destroy(m); }
    ui_model_s* m = nullptr;
};

TEST_F(UiModel, EveryTypeReadsThroughEveryGetter) {
    int target = 0;
    const struct {
        const char* what;
        std::function<void(const char*)> set;
        bool want_bool;
        float want_float;
        bool want_ptr; // the raw slot: a setter writes only its own bytes
    } cases[] = {
        // Each case's name is its key.
        {"never set", [](const char*) {}, false, 0.0f, false},
        {"bool true", [&](const char* k) { ui_model_set_bool(m, k, true); }, true, 1.0f, true},
        {"bool false", [&](const char* k) { ui_model_set_bool(m, k, false); }, false, 0.0f, false},
        {"float 0.5", [&](const char* k) { ui_model_set_float(m, k, 0.5f); }, true, 0.5f, true},
        {"float 0", [&](const char* k) { ui_model_set_float(m, k, 0.0f); }, false, 0.0f, false},
        {"float NaN", [&](const char* k) { ui_model_set_float(m, k, NAN); }, false, NAN, true},
        {"int 3", [&](const char* k) { ui_model_set_int(m, k, 3); }, true, 3.0f, true},
        {"pointer", [&](const char* k) { ui_model_set_ptr(m, k, &target); }, false, 0.0f, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.set(c.what);
        EXPECT_EQ(ui_model_get_bool(m, c.what), c.want_bool);
        const float f = ui_model_get_float(m, c.what);
        EXPECT_TRUE(std::isnan(c.want_float) ? std::isnan(f) : f == c.want_float) << f;
        EXPECT_EQ(ui_model_get_ptr(m, c.what) != nullptr, c.want_ptr);
    }
    EXPECT_EQ(ui_model_get_ptr(m, "pointer"), &target);
}

TEST_F(UiModel, IntegersTravelAsFloatsAndTruncate) {
    const struct {
        float stored;
        int want;
    } floats[] = {{2.7f, 2}, {-2.7f, -2}, {0.999f, 0}, {1e10f, INT32_MAX}, {NAN, 0}};
    for (const auto& c : floats) {
        ui_model_set_float(m, "v", c.stored);
        EXPECT_EQ(ui_model_get_int(m, "v"), c.want) << c.stored;
    }
    ui_model_set_int(m, "i", -2);
    EXPECT_EQ(ui_model_get_int(m, "i"), -2);
    EXPECT_EQ(ui_model_get_float(m, "i"), -2.0f);
    ui_model_set_int(m, "i", 16777217); // past float precision: stored as a float
    EXPECT_EQ(ui_model_get_int(m, "i"), 16777216);
    EXPECT_EQ(ui_model_get_int(m, "unknown"), 0);
}

TEST_F(UiModel, ObserversRunNewestFirstOnEverySetOfTheirKey) {
    std::vector<std::string> calls;
    struct Tagged {
        std::vector<std::string>* calls;
        const char* tag;
    };
    Tagged first{&calls, "first"}, second{&calls, "second"}, other{&calls, "other"};
    auto tagged = [](void* user, const char* key) {
        auto* t = static_cast<Tagged*>(user);
        t->calls->push_back(std::string(t->tag) + ":" + key);
    };
    ui_model_observe(m, "vis", tagged, &first);
    ui_model_observe(m, "vis", tagged, &second);
    ui_model_observe(m, "other", tagged, &other);
    ui_model_set_int(m, "vis", 1);
    ui_model_set_int(m, "vis", 1);     // unchanged value: observers run again
    ui_model_set_bool(m, "Vis", true); // another key: case matters
    EXPECT_EQ(calls,
              (std::vector<std::string>{"second:vis", "first:vis", "second:vis", "first:vis"}));
    ui_model_get_float(m, "other"); // reads never notify
    EXPECT_EQ(calls.size(), 4u);
    EXPECT_TRUE(ui_model_get_bool(m, "Vis"));
    EXPECT_EQ(ui_model_get_float(m, "vis"), 1.0f);
}

TEST_F(UiModel, KeysOfSixteenCharactersAreRefused) {
    int calls = 0;
    auto count = [](void* user, const char*) { ++*static_cast<int*>(user); };
    const char* fifteen = "abcdefghijklmno";
    const char* sixteen = "abcdefghijklmnop";
    const char* sixteen_b = "abcdefghijklmnoq";
    ui_model_observe(m, fifteen, count, &calls);
    ui_model_observe(m, sixteen, count, &calls);
    ui_model_set_float(m, fifteen, 1.5f);
    EXPECT_EQ(ui_model_get_float(m, fifteen), 1.5f);
    EXPECT_EQ(calls, 1);
    ui_model_set_float(m, sixteen, 7.0f);
    EXPECT_EQ(ui_model_get_float(m, sixteen), 0.0f);
    EXPECT_EQ(ui_model_get_float(m, sixteen_b), 0.0f);
    EXPECT_EQ(ui_model_get_float(m, fifteen), 1.5f); // no aliasing through the prefix
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ui_model_get_float(m, nullptr), 0.0f);
}

} // namespace

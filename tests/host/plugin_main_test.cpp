// The plug-in's entry, selectors, image exchange and parameters, driven in-process by the host.

#include "host_test_util.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <tuple>

#include "common/PluginMain.h"
#include "common/logger.h"
#include "common/psdk_preview.h"
#include "common/psdk_suites.h"

using namespace host_test;

namespace {

// What the preview saw, and what it answers.
struct preview_probe_s {
    int calls = 0;
    uint32_t width = 0, height = 0;
    Parameters params = {};
    int answer = 0;           // the run result handed back
    bool give_result = false; // with answer 1: hand back an image
    gr_color_t fill = 0;      // its colour
};
preview_probe_s g_preview;

int probe_preview(gr_image_s* image, gr_image_s** result) {
    g_preview.calls++;
    g_preview.width = gr_image_get_width(image);
    g_preview.height = gr_image_get_height(image);
    g_preview.params = *gParams;
    if (g_preview.answer == 1 && g_preview.give_result) {
        gr_image_s* out = gr_image_create(int32_t(g_preview.width), int32_t(g_preview.height));
        uint32_t* px = gr_image_pixels_lock(out);
        std::fill(px, px + size_t(g_preview.width) * g_preview.height, g_preview.fill);
        gr_image_pixels_unlock(out, true);
        *result = out;
    }
    gr_image_release(image);
    if (g_preview.answer < 0)
        throw std::runtime_error("preview failed");
    return g_preview.answer;
}

// An entry that lets a test run plug-in code inside a host call.
std::function<void()> g_inside;

void inside_entry(int16, FilterRecord* record, intptr_t* data, int16* result) {
    gFilterRecord = record;
    gDataHandle = data;
    gResult = result;
    record->bigDocumentData->PluginUsing32BitCoordinates = 1;
    g_inside();
}

class PluginTest : public HostTest {
protected:
    void SetUp() override { g_preview = {}, psdk_preview_override(probe_preview); }
    void TearDown() override {
        host_session_free(&s);
        psdk_preview_override(nullptr);
        host_handle_fail_after(-1);
        g_inside = nullptr;
    }
    // Starts a fresh session on d (the previous one, if any, is freed).
    void open(host_document_s d, PluginMainProc entry = PluginMain, VRect filter = {}) {
        host_session_free(&s);
        doc = std::move(d);
        host_session_init(&s, entry, &doc, filter.bottom ? filter : whole(doc));
        before = doc;
    }
    void open(int32_t w, int32_t h) { open(make_document(w, h, 4, 8)); }
    // A w x w session whose parameter block holds p.
    void open_with(int32_t w, Parameters p) {
        open(w, w);
        call(filterSelectorParameters);
        set_params(p);
    }
    int16 call(int16 selector) { return host_call(&s, selector); }
    int16 start_inside(std::function<void()> f) {
        g_inside = std::move(f);
        return call(filterSelectorStart);
    }
    host_outcome_t run(const char* play = nullptr) {
        host_desc_s desc = play ? parse_desc(play) : host_desc_s{};
        std::string message;
        return host_run(&s, false, play ? &desc : nullptr, &message);
    }
    template <typename T> T block(Handle handle) {
        T value = {};
        std::string bytes;
        EXPECT_TRUE(host_handle_bytes(handle, &bytes));
        EXPECT_EQ(bytes.size(), sizeof value);
        std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof value));
        return value;
    }
    Parameters params() { return block<Parameters>(s.record.parameters); }
    Data data() { return block<Data>(data_handle()); }
    void set_params(Parameters p) {
        HandleProcs* procs = host_handle_procs();
        std::memcpy(procs->lockProc(s.record.parameters, true), &p, sizeof p);
        procs->unlockProc(s.record.parameters);
    }
    Handle data_handle() const { return reinterpret_cast<Handle>(s.data); }
    // The blocks' identities: selectors reuse them.
    std::pair<Handle, intptr_t> blocks() const { return {s.record.parameters, s.data}; }
    std::string recorded() {
        host_desc_s desc;
        EXPECT_TRUE(host_recorded(&s, &desc));
        return host_desc_format(&desc);
    }
    bool unlocked() {
        return host_handle_locks(s.record.parameters) == 0 && host_handle_locks(data_handle()) == 0;
    }

    host_document_s doc, before;
    host_session_s s;
};

// Percent, disposition, ignore-selection.
std::tuple<int, int, int> values(const Parameters& p) {
    return {p.percent, p.disposition, p.ignoreSelection};
}

uint32_t doc_pixel(const host_document_s& d, int x, int y) {
    const uint16_t* p = &d.samples[(size_t(y) * d.width + x) * d.planes];
    return uint32_t(d.planes == 4 ? p[3] : 0) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 |
           p[2];
}

} // namespace

TEST_F(PluginTest, ParametersAndPrepareCreateBothBlocksWithDefaults) {
    for (int16 selector : {filterSelectorParameters, filterSelectorPrepare}) {
        open(4, 4);
        s.record.bufferSpace = 1234;
        EXPECT_EQ(call(selector), 0);
        ASSERT_TRUE(host_handle_is_live(s.record.parameters));
        ASSERT_TRUE(host_handle_is_live(data_handle()));
        EXPECT_EQ(values(params()), std::tuple(50, 1, 0));
        EXPECT_EQ(data().queryForParameters, 1);
        EXPECT_TRUE(unlocked()) << "when the call returns";
        EXPECT_EQ(s.record.bufferSpace, selector == filterSelectorPrepare ? 0 : 1234);
    }
    // Prepare keeps an existing block, parameters resets it; both reuse the blocks.
    const auto kept = blocks();
    set_params({77, 3, 1});
    EXPECT_EQ(call(filterSelectorPrepare), 0);
    EXPECT_EQ(values(params()), std::tuple(77, 3, 1));
    EXPECT_EQ(call(filterSelectorParameters), 0);
    EXPECT_EQ(values(params()), std::tuple(50, 1, 0));
    EXPECT_EQ(blocks(), kept);
}

TEST_F(PluginTest, MissingBlocksFailEverySelectorThatNeedsThem) {
    open(4, 4);
    EXPECT_EQ(call(filterSelectorStart), piErrMissingHandles);
    EXPECT_EQ(s.advance_calls, 0);
    EXPECT_EQ(g_preview.calls, 0);
    EXPECT_EQ(doc.samples, before.samples);
    EXPECT_EQ(call(filterSelectorFinish), piErrMissingHandles);
    EXPECT_EQ(s.descriptors.descriptor, nullptr) << "nothing recorded";
    EXPECT_FALSE(fs::exists(registry_path()));

    // Failed allocations report out of memory.
    host_handle_fail_after(0);
    EXPECT_EQ(call(filterSelectorParameters), piErrMemory);
    EXPECT_EQ(s.record.parameters, nullptr);
    EXPECT_EQ(s.data, 0);

    host_handle_fail_after(1); // the parameter block, then nothing
    EXPECT_EQ(call(filterSelectorPrepare), piErrMemory);
    EXPECT_TRUE(host_handle_is_live(s.record.parameters));
    EXPECT_EQ(s.data, 0);
    EXPECT_EQ(params().percent, 0) << "not initialised without both blocks";
    EXPECT_EQ(host_handle_locks(s.record.parameters), 0);
}

TEST_F(PluginTest, AboutNeverTouchesTheHandles) {
    open(4, 4);
    call(filterSelectorParameters);
    host_handle_procs()->lockProc(s.record.parameters, true);
    const auto kept = blocks();
    EXPECT_EQ(call(filterSelectorAbout), 0); // no display: said on standard error
    EXPECT_EQ(host_handle_locks(s.record.parameters), 1) << "about never unlocks";
    EXPECT_EQ(blocks(), kept);
    host_handle_procs()->unlockProc(s.record.parameters);
}

TEST_F(PluginTest, UnknownSelectorsOnlyLogAndUnlock) {
    open_with(4, {12, 2, 1});
    for (int16 selector : {int16(6), int16(-1)}) {
        SCOPED_TRACE(selector);
        host_handle_procs()->lockProc(s.record.parameters, true);
        host_handle_procs()->lockProc(data_handle(), true);
        const auto kept = blocks();
        const int32 max_space = s.record.maxSpace;
        EXPECT_EQ(call(selector), 0);
        EXPECT_TRUE(unlocked());
        EXPECT_EQ(blocks(), kept);
        EXPECT_EQ(s.record.maxSpace, max_space) << "not prepare";
        EXPECT_EQ(s.advance_calls, 0);
        EXPECT_EQ(values(params()), std::tuple(12, 2, 1));
        EXPECT_EQ(data().queryForParameters, 1);
    }
    std::vector<std::string> lines = log_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].rfind("Selector: 6 ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("Selector: -1 ", 0), 0u) << lines[2];
}

TEST_F(PluginTest, CallsWithoutRecordSlotOrResultAreRefused) {
    open(4, 4);
    int16 result = 0;
    intptr_t slot = 0;
    PluginMain(filterSelectorStart, nullptr, &slot, &result);
    EXPECT_EQ(result, piErrMissingParameter);
    result = 0;
    PluginMain(filterSelectorParameters, &s.record, nullptr, &result);
    EXPECT_EQ(result, piErrMissingParameter);
    PluginMain(filterSelectorParameters, &s.record, &slot, nullptr);
    EXPECT_EQ(s.record.parameters, nullptr);
    EXPECT_EQ(log_lines().size(), 3u);
}

TEST_F(PluginTest, ExceptionsAreCaughtAtTheEntry) {
    // A zenity that answers with the first page's button.
    script("zenity", "for a; do case $a in --extra-button=*) echo \"${a#--extra-button=}\"; "
                     "exit 1;; esac; done\n");
    bin_on_path(true);
    ScopedEnv display("DISPLAY", ":97");
    PIUSuitesRelease();
    // A host whose basic suite serves nothing: the file-list suite cannot be had.
    static SPBasicSuite empty = {[](const char*, int32, const void** suite) -> SPErr {
                                     *suite = nullptr;
                                     return PI_SP_SUITE_NOT_FOUND;
                                 },
                                 [](const char*, int32) -> SPErr { return 0; }};
    AboutRecord about = {nullptr, &empty, nullptr};
    intptr_t slot = 0;
    int16 result = 0;
    PluginMain(filterSelectorAbout, reinterpret_cast<FilterRecord*>(&about), &slot, &result);
    EXPECT_EQ(result, piErrException);
    EXPECT_EQ(log_lines(), std::vector<std::string>{"Selector: 0 exception"});
    EXPECT_EQ(sPSFileList.error, PI_SP_SUITE_NOT_FOUND);

    // An exception in start leaves no block locked and the document alone.
    open(8, 8);
    g_preview.answer = -1;
    EXPECT_EQ(run(), HOST_FAILED);
    EXPECT_TRUE(unlocked());
    EXPECT_EQ(doc.samples, before.samples);
    const std::vector<std::string> lines = log_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "Selector: 3 exception");
}

TEST_F(PluginTest, AboutOpensTheChosenPageThroughTheHost) {
    const fs::path answer = dir / "answer";
    // zenity answers with the button numbered in the file answer; both note what they got.
    script("zenity",
           "d=$(dirname \"$0\")/..; echo \"$@\" > $d/zenity-args; n=0; for a; do case $a in "
           "--extra-button=*) n=$((n+1)); [ $n = \"$(cat $d/answer)\" ] && "
           "{ echo \"${a#--extra-button=}\"; exit 1; };; esac; done\n");
    script("xdg-open", "echo \"$1\" >> \"$(dirname \"$0\")/../opened\"\n");
    bin_on_path(true);
    ScopedEnv display("DISPLAY", ":97");
    open(4, 4);

    write_text(answer, "0"); // OK
    EXPECT_EQ(call(filterSelectorAbout), 0);
    EXPECT_FALSE(fs::exists(dir / "opened"));
    const std::string args = read_text(dir / "zenity-args");
    for (const char* part : {"--warning", "About Spotweave", "Plug-in by Kestrelworks"})
        EXPECT_NE(args.find(part), std::string::npos) << part;

    write_text(answer, "2");
    EXPECT_EQ(call(filterSelectorAbout), 0);
    write_text(answer, "1");
    EXPECT_EQ(call(filterSelectorAbout), 0);
    std::vector<std::string> opened = lines_of(read_text(dir / "opened"));
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].rfind("file:///", 0), 0u);
    EXPECT_EQ(opened[0].substr(opened[0].size() - 12), "/doc/host.md");
    EXPECT_EQ(opened[1].substr(opened[1].size() - 14), "/doc/README.md");
}

TEST_F(PluginTest, PrepareCapsMaxSpaceAtTwiceATileOfPlanes) {
    const struct {
        int32_t w, h;
        int16_t planes;
        bool mask;
        int32 offered, want;
    } cases[] = {
        {100, 50, 4, false, 1 << 28, 100 * 50 * 4 * 2},
        {1000, 300, 4, false, 1 << 28, 256 * 256 * 4 * 2},
        {300, 1000, 3, false, 1 << 28, 256 * 256 * 3 * 2},
        {10, 10, 4, true, 1 << 28, 10 * 10 * 5 * 2},
        {10, 10, 4, false, 801, 800},
        {10, 10, 4, false, 100, 100}, // never raised
    };
    for (const auto& c : cases) {
        open(make_document(c.w, c.h, c.planes, 8));
        s.record.maxSpace = c.offered;
        uint8_t mask_byte = 0;
        s.record.maskData = c.mask ? &mask_byte : nullptr;
        EXPECT_EQ(call(filterSelectorPrepare), 0);
        EXPECT_EQ(s.record.maxSpace, c.want) << c.w << "x" << c.h;
        s.record.maskData = nullptr;
    }
}

TEST_F(PluginTest, ContinueEmptiesAllThreeRectangles) {
    open(8, 8);
    call(filterSelectorParameters);
    auto empty = [](auto r) { return r.top == 0 && r.left == 0 && r.bottom == 0 && r.right == 0; };
    s.big.inRect32 = s.big.outRect32 = s.big.maskRect32 = VRect{1, 2, 3, 4};
    EXPECT_EQ(call(filterSelectorContinue), 0);
    for (const VRect& r : {s.big.inRect32, s.big.outRect32, s.big.maskRect32})
        EXPECT_TRUE(empty(r));

    s.record.bigDocumentData = nullptr; // a host with 16-bit rectangles only
    s.record.inRect = s.record.outRect = s.record.maskRect = Rect{1, 2, 3, 4};
    EXPECT_EQ(call(filterSelectorContinue), 0);
    for (const Rect& r : {s.record.inRect, s.record.outRect, s.record.maskRect})
        EXPECT_TRUE(empty(r));
}

TEST(PluginRects, SixteenBitRectanglesAreSignExtendedAndWrittenTruncated) {
    FilterRecord record = {};
    BigDocumentStruct big = {};
    gFilterRecord = &record;
    record.filterRect = Rect{-5, -3, 10, 20};
    VRect r = GetFilterRect();
    EXPECT_EQ(std::tuple(r.top, r.left, r.bottom, r.right), std::tuple(-5, -3, 10, 20));
    SetOutRect(VRect{0, 0, 70000, -40000});
    EXPECT_EQ(record.outRect.bottom, int16(4464));
    EXPECT_EQ(record.outRect.right, int16(25536));

    record.bigDocumentData = &big;
    big.filterRect32 = VRect{0, 0, 70000, 50000};
    EXPECT_EQ(GetFilterRect().right, 20) << "16-bit until the plug-in says it uses 32";
    big.PluginUsing32BitCoordinates = 1;
    EXPECT_EQ(GetFilterRect().bottom, 70000);
    SetInRect(VRect{1, 2, 70001, 50002});
    EXPECT_EQ(big.inRect32.bottom, 70001);
    EXPECT_EQ(record.inRect.bottom, 0) << "the 16-bit twin is left alone";
    gFilterRecord = nullptr;
}

TEST_F(PluginTest, GetThenSetReproducesTheDocumentExactly) {
    open(make_document(7, 5, 4, 8, 3), inside_entry);
    EXPECT_EQ(start_inside([&] {
                  gr_image_s* image = psdk_image_get(VRect{1, 2, 5, 6});
                  ASSERT_NE(image, nullptr);
                  EXPECT_EQ(*gResult, 0);
                  ASSERT_EQ(gr_image_get_width(image), 4u);
                  ASSERT_EQ(gr_image_get_height(image), 4u);
                  for (int y = 0; y < 4; y++)
                      for (int x = 0; x < 4; x++)
                          ASSERT_EQ(image->pixels[y * 4 + x], doc_pixel(doc, x + 2, y + 1));
                  psdk_image_set(image);
                  gr_image_release(image);
              }),
              0);
    EXPECT_EQ(doc.samples, before.samples);

    start_inside([&] {
        gr_image_s* image = psdk_image_get(VRect{1, 2, 2, 4});
        image->pixels[0] = 0x11223344;
        image->pixels[1] = 0xAABBCCDD;
        psdk_image_set(image);
        gr_image_release(image);
    });
    EXPECT_EQ(doc_pixel(doc, 2, 1), 0x11223344u);
    EXPECT_EQ(doc_pixel(doc, 3, 1), 0xAABBCCDDu);
    EXPECT_EQ(doc_pixel(doc, 4, 1), doc_pixel(before, 4, 1));
}

TEST_F(PluginTest, ZeroHeightRectangleGivesAnEmptyImageWithoutReads) {
    open(make_document(6, 4, 4, 8), inside_entry);
    EXPECT_EQ(start_inside([&] {
                  gr_image_s* image = psdk_image_get(VRect{2, 1, 2, 5});
                  ASSERT_NE(image, nullptr);
                  EXPECT_EQ(gr_image_get_width(image), 4u);
                  EXPECT_EQ(gr_image_get_height(image), 0u);
                  EXPECT_EQ(gFilterRecord->inData, nullptr) << "nothing was served, nothing read";
                  psdk_image_set(image);
                  gr_image_release(image);
              }),
              0);
    EXPECT_EQ(s.advance_calls, 1);
}

TEST_F(PluginTest, SixteenBitDocumentsGiveZerosAndStayUntouched) {
    open(make_document(5, 3, 4, 16), inside_entry);
    EXPECT_EQ(start_inside([&] {
                  gr_image_s* image = psdk_image_get(whole(doc));
                  ASSERT_NE(image, nullptr);
                  ASSERT_EQ(gr_image_get_width(image) * gr_image_get_height(image), 15u);
                  EXPECT_EQ(std::vector<uint32_t>(image->pixels, image->pixels + 15),
                            std::vector<uint32_t>(15, 0u));
                  std::fill(image->pixels, image->pixels + 15, 0xFFFFFFFFu);
                  psdk_image_set(image);
                  gr_image_release(image);
              }),
              0);
    EXPECT_EQ(doc.samples, before.samples);
}

TEST_F(PluginTest, ThreePlaneDocumentsCarryTheHostsDummyByte) {
    open(make_document(3, 2, 3, 8), inside_entry);
    s.record.dummyPlaneValue = 0x5A;
    start_inside([&] {
        gr_image_s* image = psdk_image_get(whole(doc));
        EXPECT_EQ(gFilterRecord->inHiPlane, 2);
        EXPECT_EQ(gFilterRecord->inPostDummyPlanes, 1);
        EXPECT_EQ(gFilterRecord->outPostDummyPlanes, 1);
        ASSERT_NE(image, nullptr);
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 3; x++)
                EXPECT_EQ(image->pixels[y * 3 + x], 0x5A000000u | doc_pixel(doc, x, y));
        image->pixels[0] = 0x01020304;
        psdk_image_set(image);
        // The alpha byte lands in the dummy plane of the host's buffer.
        EXPECT_EQ(static_cast<uint8_t*>(gFilterRecord->outData)[3], 0x01);
        gr_image_release(image);
    });
    EXPECT_EQ(std::vector<uint16_t>(doc.samples.begin(), doc.samples.begin() + 3),
              (std::vector<uint16_t>{0x02, 0x03, 0x04}));
}

TEST_F(PluginTest, GetLeavesTheHostsErrorWhenAdvanceStateFails) {
    open(make_document(4, 4, 4, 8), inside_entry);
    s.record.haveMask = 1;
    s.advance_error = -4242;
    EXPECT_EQ(start_inside([&] {
                  EXPECT_EQ(psdk_image_get(VRect{0, 1, 2, 3}), nullptr);
                  EXPECT_EQ(*gResult, -4242);
                  VRect m = gFilterRecord->bigDocumentData->maskRect32;
                  EXPECT_TRUE(m.top == 0 && m.left == 1 && m.bottom == 2 && m.right == 3)
                      << "the mask rectangle follows with haveMask";
              }),
              -4242);
}

TEST_F(PluginTest, PreviewSeesAreasUpTo1024Unscaled) {
    const struct {
        int32_t w, h;
        uint32_t seen_w, seen_h;
    } cases[] = {{1024, 1024, 1024, 1024},
                 {1025, 1, 1024, 1},
                 {1, 1025, 1, 1024},
                 {2048, 100, 1024, 50},
                 {7, 3, 7, 3}};
    for (const auto& c : cases) {
        open(c.w, c.h);
        g_preview.calls = 0;
        EXPECT_EQ(run(), HOST_CANCELLED);
        EXPECT_EQ(g_preview.calls, 1);
        EXPECT_EQ(g_preview.width, c.seen_w) << c.w << "x" << c.h;
        EXPECT_EQ(g_preview.height, c.seen_h) << c.w << "x" << c.h;
    }
}

TEST_F(PluginTest, OkWithAScaledImageWritesTheExactFilterArea) {
    open(make_document(1200, 30, 4, 8), PluginMain, VRect{5, 50, 25, 1150});
    g_preview.answer = 1;
    g_preview.give_result = true;
    g_preview.fill = 0xFF102030;
    EXPECT_EQ(run(), HOST_DONE);
    EXPECT_EQ(g_preview.width, 1024u);
    EXPECT_LT(g_preview.height, 20u);
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 1200; x += 7) {
            bool inside = y >= 5 && y < 25 && x >= 50 && x < 1150;
            ASSERT_EQ(doc_pixel(doc, x, y), inside ? 0xFF102030u : doc_pixel(before, x, y))
                << x << "," << y;
        }
}

TEST_F(PluginTest, CancelRestoresTheParametersAndLeavesTheDocument) {
    open_with(16, {10, 2, 0});
    EXPECT_EQ(call(filterSelectorFinish), 0); // the registry now holds 10
    EXPECT_EQ(run("Amnt UntF #Prc 20\nignS bool true\n"), HOST_CANCELLED);
    EXPECT_EQ(values(g_preview.params), std::tuple(20, 2, 1));
    EXPECT_EQ(values(params()), std::tuple(10, 2, 0)) << "restored to the values before";
    EXPECT_EQ(data().queryForParameters, 0);
    EXPECT_EQ(doc.samples, before.samples);
}

TEST_F(PluginTest, PlayedValuesReachThePreview) {
    open(8, 8);
    const struct {
        const char* play;
        int16 percent, disposition;
    } cases[] = {
        {"Amnt UntF #Prc 37.9\n", 37, 1}, // amounts truncate toward zero
        {"Amnt UntF #Prc -37.9\n", -37, 1},
        {"Amnt UntF #Pxl 12\n", 12, 1}, // the unit is not checked
        {"Amnt UntF #Prc 70000\n", int16(70000), 1},
        {"Amnt UntF #Prc 1e12\n", int16(INT32_MAX), 1}, // saturates to 32 bits first
        {"disP enum mooD 0x6D6F4437\n", 50, 1}, // enumerations outside the four mean 1
        {"disP enum mooD moD3\n", 50, 3},
        {"disP enum mooD moD0\n", 50, 0},
        {"disP enum mooD 0x6D6F442F\n", 50, 1},
        // An unknown key stops the walk, but not the dialog.
        {"Amnt UntF #Prc 12\nXtra bool true\ndisP enum mooD moD3\n", 12, 1},
    };
    for (const auto& c : cases) {
        g_preview.calls = 0;
        EXPECT_EQ(run(c.play), HOST_CANCELLED) << c.play;
        EXPECT_EQ(g_preview.calls, 1) << c.play;
        EXPECT_EQ(values(g_preview.params), std::tuple(c.percent, c.disposition, 0)) << c.play;
    }
}

TEST_F(PluginTest, ADescriptorClosedWithAnErrorRunsTheLineDrawing) {
    open(make_document(64, 48, 4, 8), PluginMain, VRect{8, 4, 40, 60});
    EXPECT_EQ(run("Amnt bool true\n"), HOST_DONE);
    EXPECT_EQ(g_preview.calls, 0);
    EXPECT_EQ(data().queryForParameters, 0);
    EXPECT_EQ(recorded(), "Amnt UntF #Prc 50\ndisP enum mooD moD1\n")
        << "finish records the values in force";
    EXPECT_TRUE(is_line_drawing(doc, VRect{8, 4, 40, 60}));
    EXPECT_EQ(doc_pixel(doc, 2, 2), doc_pixel(before, 2, 2)) << "outside the filter area";
    EXPECT_EQ(s.progress_total, 100);
    EXPECT_EQ(s.progress_done, 100);
    EXPECT_EQ(s.progress_calls, 4); // 0, 33, 66, 100
    // So does OK in the dialog without a result image.
    open(40, 30);
    g_preview.answer = 1;
    EXPECT_EQ(run(), HOST_DONE);
    EXPECT_TRUE(is_line_drawing(doc, whole(doc)));
    EXPECT_EQ(data().queryForParameters, 0);
}

TEST_F(PluginTest, AnAbsentIgnoreSelectionMeansFalse) {
    open_with(8, {50, 1, 1});
    call(filterSelectorFinish); // the registry says true
    EXPECT_EQ(run("Amnt UntF #Prc 20\n"), HOST_CANCELLED);
    EXPECT_EQ(g_preview.params.ignoreSelection, 0);
    // A host that plays descriptors answers for the key even when it plays none.
    EXPECT_EQ(run(), HOST_CANCELLED);
    EXPECT_EQ(g_preview.params.ignoreSelection, 0);
    s.record.descriptorParameters = nullptr; // a host without scripting
    EXPECT_EQ(run(), HOST_CANCELLED);
    EXPECT_EQ(g_preview.params.ignoreSelection, 1);
}

TEST_F(PluginTest, FinishRecordsIgnoreSelectionOnlyWhenSetButAlwaysInTheRegistry) {
    open_with(8, {37, 2, 0});
    s.descriptors.recordInfo = plugInDialogRequired;
    EXPECT_EQ(call(filterSelectorFinish), 0);
    EXPECT_EQ(recorded(), "Amnt UntF #Prc 37\ndisP enum mooD moD2\n");
    EXPECT_EQ(s.descriptors.recordInfo, plugInDialogOptional);
    std::string registry = read_text(registry_path());
    EXPECT_NE(registry.find("[964f9468-f27a-49ca-b8c9-54fa24e42f0f]\nAmnt UntF #Prc 37\n"
                            "disP enum mooD moD2\nignS bool false\n"),
              std::string::npos)
        << registry;

    size_t handles = host_handle_count();
    set_params({-3, -1, 1}); // dispositions outside 0..3, compared unsigned, record as 1
    EXPECT_EQ(call(filterSelectorFinish), 0);
    EXPECT_EQ(host_handle_count(), handles) << "the old recording was disposed of";
    EXPECT_EQ(recorded(), "Amnt UntF #Prc -3\ndisP enum mooD moD1\nignS bool true\n");

    // The registry's values reach the next session.
    set_params({61, 0, 0});
    call(filterSelectorFinish);
    open(8, 8);
    EXPECT_EQ(run(), HOST_CANCELLED);
    EXPECT_EQ(values(g_preview.params), std::tuple(61, 0, 0));
}

TEST(AutoSuiteHolder, AcquiresReleasesAndThrowsOnRequest) {
    SPBasicSuite* saved = sSPBasic;
    sSPBasic = host_basic_suite();
    int before = host_suite_outstanding();
    {
        AutoSuite<ASZStringSuite2> strings(kASZStringSuite, 2);
        EXPECT_EQ(strings.suite, nullptr);
        strings.AcquireSuite(false);
        EXPECT_EQ(strings.error, 0);
        EXPECT_NE(strings.suite, nullptr);
        EXPECT_EQ(host_suite_outstanding(), before + 1);
    }
    EXPECT_EQ(host_suite_outstanding(), before) << "released when the holder goes";

    AutoSuite<PSUIHooksSuite1> hooks("Photoshop UIHooks Suite for Plug-ins", 1);
    hooks.AcquireSuite(false);
    EXPECT_EQ(hooks.error, PI_SP_SUITE_NOT_FOUND);
    EXPECT_EQ(hooks.suite, nullptr);
    EXPECT_THROW(hooks.AcquireSuite(true), uint32_t);

    sPSFileList.AcquireSuite(false);
    ASSERT_NE(sPSFileList.suite, nullptr);
    PIUSuitesRelease();
    EXPECT_EQ(sPSFileList.suite, nullptr);
    EXPECT_EQ(host_suite_outstanding(), before);

    sSPBasic = nullptr;
    hooks.AcquireSuite(false);
    EXPECT_EQ(hooks.error, PI_SP_BAD_PARAMETER);
    try {
        hooks.AcquireSuite(true);
        ADD_FAILURE() << "no exception";
    } catch (uint32_t error) {
        EXPECT_EQ(error, 0x5061726Du);
    }
    sSPBasic = saved;
}

TEST_F(HostTest, LoggerWritesUtf16TextThroughTheHostStringSuite) {
    SPBasicSuite* saved = sSPBasic;
    sSPBasic = host_basic_suite();
    {
        Logger logger("Spotweave");
        logger.Write(std::u16string(u"Gr\u00FC\u00DFe \U0001F600"), true);
        std::vector<std::u16string> lines = {u"a", u"", u"b"};
        logger.Write(lines, false);
    }
    EXPECT_EQ(read_text(dir / "desktop" / "Spotweave.log"), "Gr\xC3\xBC\xC3\x9F"
                                                            "e \xF0\x9F\x98\x80\nab");
    PIUSuitesRelease();
    sSPBasic = nullptr;
    Logger logger("Spotweave");
    EXPECT_THROW(logger.Write(std::u16string(u"x"), true), uint32_t);
    sSPBasic = saved;
}

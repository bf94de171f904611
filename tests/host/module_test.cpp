// The real module, loaded with dlopen and driven by the real host.

#include "host_test_util.h"

#include <dlfcn.h>

#include <chrono>
#include <thread>

using namespace host_test;

namespace {

class SpotweaveModule : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        std::string error;
        ASSERT_TRUE(host_module_open(SW_MODULE_PATH, &module, &error)) << error;
    }
    void TearDown() override {
        host_session_free(&s);
        host_module_close(&module);
        HostTest::TearDown();
    }
    // Opens samples/<name> as a document with a session on filter (default: all).
    void open(const char* name, int16_t planes, int16_t depth, VRect filter = {}) {
        host_session_free(&s);
        gr_image_s* image =
            gr_image_create_file((std::string(SW_TESTDATA_DIR) + "/" + name).c_str());
        ASSERT_NE(image, nullptr) << name;
        host_document_from_image(image, planes, depth, &doc);
        gr_image_release(image);
        host_session_init(&s, module.entry, &doc, filter.bottom ? filter : whole(doc));
        before = doc;
    }
    host_outcome_t run(const char* play) {
        host_desc_s desc = play ? parse_desc(play) : host_desc_s();
        std::string message;
        host_outcome_t outcome = host_run(&s, true, play ? &desc : nullptr, &message);
        EXPECT_NE(outcome, HOST_FAILED) << message;
        return outcome;
    }
    host_module_s module;
    host_document_s doc, before;
    host_session_s s;
};

} // namespace

TEST_F(SpotweaveModule, ExportsOnlyItsEntry) {
    EXPECT_NE(dlsym(module.library, "PluginMain"), nullptr);
    for (const char* name :
         {"DoStart", "_Z7DoStartv", "gFilterRecord", "sSPBasic", "_Z14psdk_image_getRK5VRect",
          "gr_image_create", "_Z15gr_image_createii", "_ZN6Logger5WriteEPKcb"})
        EXPECT_EQ(dlsym(module.library, name), nullptr) << name;
}

TEST_F(SpotweaveModule, ABrokenActionGivesTheLineDrawingOnEightBitPhotosOnly) {
    const VRect area{100, 120, 400, 380};
    open("astronaut_512x512_rgb.png", 4, 8, area);
    ASSERT_EQ(run("Amnt bool true\ndisP enum mooD moD2\n"), HOST_DONE);
    EXPECT_TRUE(is_line_drawing(doc, area));
    for (int x = 0; x < 512; x += 5) // the rows above the area are untouched
        for (int p = 0; p < 4; p++)
            ASSERT_EQ(doc.samples[(size_t(50) * 512 + x) * 4 + p],
                      before.samples[(size_t(50) * 512 + x) * 4 + p]);
    EXPECT_EQ(s.progress_done, 100);
    std::vector<std::string> lines = log_lines();
    ASSERT_EQ(lines.size(), 5u);
    for (size_t i = 0; i < 5; i++)
        EXPECT_EQ(lines[i].rfind("Selector: " + std::to_string(i + 1) + " ", 0), 0u) << lines[i];
    EXPECT_TRUE(fs::exists(registry_path()));

    open("cat_451x300_rgba.png", 3, 8);
    ASSERT_EQ(run("ignS long 1\n"), HOST_DONE);
    EXPECT_TRUE(is_line_drawing(doc, whole(doc))) << "three planes";
    open("sunset_534x356_rgb16.png", 4, 16);
    ASSERT_EQ(run("Amnt bool true\n"), HOST_DONE);
    EXPECT_EQ(doc.samples, before.samples) << "sixteen bits come back untouched";
}

TEST_F(SpotweaveModule, WithoutAPreviewWindowTheDocumentStaysUnchanged) {
    open("camera_512x512_grey.png", 4, 8);
    std::string message;
    EXPECT_EQ(host_run(&s, false, nullptr, &message), HOST_CANCELLED);
    EXPECT_EQ(doc.samples, before.samples);
    EXPECT_EQ(log_lines().size(), 2u); // prepare, start
}

TEST_F(SpotweaveModule, ARecordedActionPlaysBack) {
    open("cat_451x300_rgba.png", 4, 8);
    // Record: the broken action runs the line drawing; finish records the values
    // in force (the registry's, or the defaults).
    ASSERT_EQ(run("disP bool true\n"), HOST_DONE);
    host_desc_s recorded;
    ASSERT_TRUE(host_recorded(&s, &recorded));
    EXPECT_EQ(host_desc_format(&recorded), "Amnt UntF #Prc 50\ndisP enum mooD moD1\n");

    // Played back, it reads cleanly, so start goes for the (missing) preview.
    before = doc;
    std::string message;
    EXPECT_EQ(host_run(&s, false, &recorded, &message), HOST_CANCELLED);
    EXPECT_EQ(doc.samples, before.samples);
}

// The threads of this process, from /proc.
static int thread_count() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task"))
        n++;
    return n;
}

TEST_F(SpotweaveModule, UnloadingStopsTheModulesWorkerThreads) {
    std::thread([] {}).join(); // a sanitizer's own thread starts with the first one
    const int threads = thread_count();
    open("camera_512x512_grey.png", 4, 8);
    ASSERT_EQ(run("Amnt bool true\n"), HOST_DONE); // the line drawing starts the pool
    host_session_free(&s);
    host_module_close(&module);
    // Joined threads leave /proc a moment after the join returns.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (thread_count() > threads && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(thread_count(), threads);
}

// The real module, loaded with dlopen and driven by the real host.

#include "host_test_util.h"

#include <dlfcn.h>

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
    void open(host_document_s d, VRect filter) {
        doc = std::move(d);
        host_session_init(&s, module.entry, &doc, filter);
    }
    host_module_s module;
    host_document_s doc;
    host_session_s s;
};

// Loads samples/<name> as a document.
host_document_s sample_document(const char* name, int16_t planes, int16_t depth) {
    host_document_s doc;
    gr_image_s* image = gr_image_create_file((std::string(SW_TESTDATA_DIR) + "/" + name).c_str());
    EXPECT_NE(image, nullptr) << name;
    if (image)
        host_document_from_image(image, planes, depth, &doc);
    gr_image_release(image);
    return doc;
}

} // namespace

TEST_F(SpotweaveModule, ExportsOnlyItsEntry) {
    EXPECT_NE(dlsym(module.library, "PluginMain"), nullptr);
    for (const char* name :
         {"DoStart", "_Z7DoStartv", "gFilterRecord", "sSPBasic", "_Z14psdk_image_getRK5VRect",
          "gr_image_create", "_Z15gr_image_createii", "_ZN6Logger5WriteEPKcb"})
        EXPECT_EQ(dlsym(module.library, name), nullptr) << name;
}

TEST_F(SpotweaveModule, ABrokenActionGivesTheLineDrawing) {
    open(sample_document("astronaut_512x512_rgb.png", 4, 8), VRect{100, 120, 400, 380});
    const host_document_s before = doc;
    host_desc_s play = parse_desc("Amnt bool true\ndisP enum mooD moD2\n");
    std::string message;
    ASSERT_EQ(host_run(&s, true, &play, &message), HOST_DONE) << message;
    EXPECT_TRUE(is_line_drawing(doc, VRect{100, 120, 400, 380}));
    for (int x = 0; x < 512; x += 5) // the rows above the area are untouched
        for (int p = 0; p < 4; p++)
            ASSERT_EQ(doc.samples[(size_t(50) * 512 + x) * 4 + p],
                      before.samples[(size_t(50) * 512 + x) * 4 + p]);
    EXPECT_EQ(s.progress_done, 100);

    std::vector<std::string> lines = log_lines();
    ASSERT_EQ(lines.size(), 5u);
    const char* want[] = {"Selector: 1 ", "Selector: 2 ", "Selector: 3 ", "Selector: 4 ",
                          "Selector: 5 "};
    for (size_t i = 0; i < 5; i++)
        EXPECT_EQ(lines[i].rfind(want[i], 0), 0u) << lines[i];
    EXPECT_TRUE(fs::exists(registry_path()));
}

TEST_F(SpotweaveModule, ThreePlaneDocumentsGetTheLineDrawingToo) {
    open(sample_document("cat_451x300_rgba.png", 3, 8), VRect{0, 0, 300, 451});
    host_desc_s play = parse_desc("ignS long 1\n");
    std::string message;
    ASSERT_EQ(host_run(&s, false, &play, &message), HOST_DONE) << message;
    EXPECT_TRUE(is_line_drawing(doc, VRect{0, 0, 300, 451}));
}

TEST_F(SpotweaveModule, WithoutAPreviewWindowTheDocumentStaysUnchanged) {
    open(sample_document("camera_512x512_grey.png", 4, 8), VRect{0, 0, 512, 512});
    const host_document_s before = doc;
    std::string message;
    EXPECT_EQ(host_run(&s, false, nullptr, &message), HOST_CANCELLED);
    EXPECT_EQ(doc.samples, before.samples);
    EXPECT_EQ(log_lines().size(), 2u); // prepare, start
}

TEST_F(SpotweaveModule, ARecordedActionPlaysBack) {
    open(sample_document("cat_451x300_rgba.png", 4, 8), VRect{0, 0, 300, 451});
    // Record: the broken action runs the line drawing; finish records the values
    // in force (the registry's, or the defaults).
    host_desc_s broken = parse_desc("disP bool true\n");
    std::string message;
    ASSERT_EQ(host_run(&s, false, &broken, &message), HOST_DONE) << message;
    host_desc_s recorded;
    ASSERT_TRUE(host_recorded(&s, &recorded));
    EXPECT_EQ(host_desc_format(&recorded), "Amnt UntF #Prc 50\ndisP enum mooD moD1\n");

    // Played back, it reads cleanly, so start goes for the (missing) preview.
    const host_document_s before = doc;
    EXPECT_EQ(host_run(&s, false, &recorded, &message), HOST_CANCELLED);
    EXPECT_EQ(doc.samples, before.samples);
}

TEST_F(SpotweaveModule, SixteenBitDocumentsComeBackUntouched) {
    open(sample_document("sunset_534x356_rgb16.png", 4, 16), VRect{0, 0, 356, 534});
    const host_document_s before = doc;
    host_desc_s play = parse_desc("Amnt bool true\n");
    std::string message;
    ASSERT_EQ(host_run(&s, false, &play, &message), HOST_DONE) << message;
    EXPECT_EQ(doc.samples, before.samples);
}

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
        std::string error;
        ASSERT_TRUE(host_module_open(SW_MODULE_PATH, &module, &error)) << error;
    }
    void TearDown() override {
        host_session_free(&s);
        host_module_close(&module);
    }
    host_module_s module;
    host_document_s doc = make_document(96, 64, 4, 8);
    host_session_s s;
};

// The threads of this process, from /proc.
int thread_count() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task"))
        n++;
    return n;
}

} // namespace

TEST_F(SpotweaveModule, ExportsOnlyItsEntry) {
    EXPECT_NE(dlsym(module.library, "PluginMain"), nullptr);
    for (const char* name :
         {"DoStart", "_Z7DoStartv", "gFilterRecord", "sSPBasic", "_Z14psdk_image_getRK5VRect",
          "gr_image_create", "_Z15gr_image_createii", "_ZN6Logger5WriteEPKcb"})
        EXPECT_EQ(dlsym(module.library, name), nullptr) << name;
}

TEST_F(SpotweaveModule, UnloadingStopsTheModulesWorkerThreads) {
    std::thread([] {}).join(); // a sanitizer's own thread starts with the first one
    const int threads = thread_count();
    host_session_init(&s, module.entry, &doc, whole(doc));
    const host_desc_s play = parse_desc("Amnt bool true\n");
    std::string message;
    // The line drawing of the broken action starts the pool.
    ASSERT_EQ(host_run(&s, true, &play, &message), HOST_DONE) << message;
    EXPECT_TRUE(is_line_drawing(doc, whole(doc)));
    host_session_free(&s);
    host_module_close(&module);
    // Joined threads leave /proc a moment after the join returns.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (thread_count() > threads && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(thread_count(), threads);
}

#include "app/app_log.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string logged(const char* format, auto... args) {
    testing::internal::CaptureStderr();
    app_log(format, args...);
    return testing::internal::GetCapturedStderr();
}

} // namespace

TEST(AppLog, WritesFormattedTextWithoutLineEnd) {
    EXPECT_EQ(logged("Complex compute took %g seconds.", 0.25),
              "Complex compute took 0.25 seconds.");
    EXPECT_EQ(logged("SST: %g%%\n", 50.0), "SST: 50%\n");
}

TEST(AppLog, CutsLongMessageAt1023Bytes) {
    std::string message(2000, 'x');
    for (size_t i = 0; i < message.size(); i++)
        message[i] = char('a' + i % 26);
    EXPECT_EQ(logged("%s", message.c_str()), message.substr(0, 1023));
    EXPECT_EQ(logged("%s", message.substr(0, 1023).c_str()), message.substr(0, 1023));
}

TEST(AppLog, FormattingErrorStillWritesATerminatedText) {
    // A wide character the C locale cannot convert makes formatting fail; the
    // retry in the large buffer writes whatever was formatted, nothing more.
    const std::string written = logged("abc %ls def", L"\u00e9");
    EXPECT_LE(written.size(), 4u);
    EXPECT_EQ(written, std::string("abc ").substr(0, written.size()));
}

TEST(AppLogTo, HandsTheTextToTheSinkOrDropsIt) {
    std::string got;
    const app_log_sink_s collect = {
        [](void* user, const char* text) { *static_cast<std::string*>(user) += text; }, &got};
    app_log_to(collect, "SST: %g%%\n", 25.0);
    app_log_to(collect, "%s", std::string(2000, 'y').c_str());
    EXPECT_EQ(got, "SST: 25%\n" + std::string(1023, 'y'));
    testing::internal::CaptureStderr();
    app_log_to({nullptr, nullptr}, "dropped\n");
    app_log_to(app_log_stderr(), "kept %d\n", 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "kept 1\n");
}

#include "app/app_log.h"

#include <gtest/gtest.h>

#include <string>

TEST(AppLog, WritesFormattedTextWithoutLineEnd) {
    testing::internal::CaptureStderr();
    app_log("Complex compute took %g seconds.", 0.25);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Complex compute took 0.25 seconds.");
}

TEST(AppLog, CutsLongMessageAt1023Bytes) {
    std::string message(2000, 'x');
    for (size_t i = 0; i < message.size(); i++)
        message[i] = char('a' + i % 26);
    testing::internal::CaptureStderr();
    app_log("%s", message.c_str());
    std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(written.size(), 1023u);
    EXPECT_EQ(written, message.substr(0, 1023));
}

TEST(AppLog, WritesMessageOf1023BytesWhole) {
    std::string message(1023, 'q');
    testing::internal::CaptureStderr();
    app_log("%s", message.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
}

TEST(AppLog, WritesPercentSign) {
    testing::internal::CaptureStderr();
    app_log("SST: %g%%\n", 50.0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "SST: 50%\n");
}

TEST(AppLog, FormattingErrorStillWritesATerminatedText) {
    // A wide character the C locale cannot convert makes formatting fail; the
    // retry in the large buffer writes whatever was formatted, nothing more.
    testing::internal::CaptureStderr();
    app_log("abc %ls def", L"\u00e9");
    std::string written = testing::internal::GetCapturedStderr();
    EXPECT_LE(written.size(), 4u);
    EXPECT_EQ(written, std::string("abc ").substr(0, written.size()));
}

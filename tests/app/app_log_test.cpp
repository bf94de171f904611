#include "app/app_log.h"

#include <gtest/gtest.h>

#include <cstring>
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
    // A wide character the C locale cannot convert: whatever was formatted, nothing more.
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

TEST(AppLogEscape, WritesTerminalCommandsAsHexAndKeepsText) {
    const struct {
        const char* text;
        const char* escaped;
    } cases[] = {
        {"plain 'Amnt' #Prc 50", "plain 'Amnt' #Prc 50"},
        {"\x1b]0;owned\x07", "\\x1B]0;owned\\x07"},
        {"tab\tline\nend\r\x7f", "tab\\x09line\\x0Aend\\x0D\\x7F"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82"},
        {"\302\23331m", "\\xC2\\x9B31m"},                        // CSI as a C1 control
        {"\xc0\xaf \xed\xa0\x80", "\\xC0\\xAF \\xED\\xA0\\x80"}, // overlong, surrogate
        {"cut \xe2\x82", "cut \\xE2\\x82"},
    };
    for (const auto& c : cases) {
        char out[128];
        EXPECT_EQ(app_log_escape(c.text, out, sizeof out), std::strlen(c.escaped));
        EXPECT_STREQ(out, c.escaped);
    }
    char small[8];
    EXPECT_EQ(app_log_escape("ab\033cdef", small, sizeof small), 7u);
    EXPECT_STREQ(small, "ab\\x1Bc") << "cut at the buffer, never inside an escape";
}

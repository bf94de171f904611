#include "common/logger.h"

#include "app/app_path.h"
#include "common/psdk_suites.h"

#include <cstring>
#include <ctime>
#include <locale>
#include <new>

// Appends src to the NUL-terminated dst of size bytes: copies what fits, always
// terminates (for size > 0) and returns the length it tried to create.
static size_t bounded_concat(char* dst, const char* src, size_t size) {
    size_t dst_len = strnlen(dst, size);
    size_t src_len = std::strlen(src);
    if (dst_len == size)
        return size + src_len;
    size_t n = src_len < size - dst_len - 1 ? src_len : size - dst_len - 1;
    std::memcpy(dst + dst_len, src, n);
    dst[dst_len + n] = '\0';
    return dst_len + src_len;
}

Logger::Logger(const char* name) {
    path[0] = '\0';
    // Without a desktop folder the file goes to the current folder.
    if (app_get_desktop_path(sizeof path, path)) {
        if (bounded_concat(path, "/", sizeof path) >= sizeof path)
            path[0] = '\0';
        path[sizeof path - 1] = '\0';
    }
    bounded_concat(path, name ? name : "", sizeof path - 1);
    bounded_concat(path, ".log", sizeof path - 1);
    // Numbers in the log read the same whatever locale the host has set.
    stream.imbue(std::locale::classic());
}

Logger::~Logger() {
    if (stream.is_open())
        stream.close();
}

void Logger::Open() {
    if (stream.is_open())
        stream.close();
    stream.open(path, std::ios::out | std::ios::app);
}

void Logger::Close() {
    stream.close();
}

template <typename T> void Logger::Append(const T& value, bool newline) {
    Open();
    stream << value;
    if (newline)
        stream << '\n' << std::flush;
    Close();
}

void Logger::Write(const char* text, bool newline) {
    Append(text ? text : "", newline);
}

void Logger::Write(int value, bool newline) {
    Append(value, newline);
}

void Logger::Write(double value, bool newline) {
    Append(value, newline);
}

void Logger::Write(const std::string& text, bool newline) {
    Append(text, newline);
}

void Logger::Write(const std::vector<std::string>& texts, bool newline) {
    for (const std::string& text : texts)
        Write(text, newline);
}

void Logger::Write(const std::u16string& text, bool newline) {
    if (!sASZString2.suite)
        sASZString2.AcquireSuite(true);
    const ASZStringSuite2* strings = sASZString2.suite;
    ASZString string = nullptr;
    static_assert(sizeof(char16_t) == sizeof(ASUnicode), "UTF-16 code units");
    if (strings->MakeFromUnicode(reinterpret_cast<const ASUnicode*>(text.data()), text.size(),
                                 &string) != 0 ||
        !string)
        return;
    uint32 size = strings->LengthAsCString(string);
    char* bytes = size > 0 ? new (std::nothrow) char[size] : nullptr;
    if (bytes && strings->AsCString(string, bytes, size) == 0)
        Write(static_cast<const char*>(bytes), newline);
    strings->Release(string);
    delete[] bytes;
}

void Logger::Write(const std::vector<std::u16string>& texts, bool newline) {
    for (const std::u16string& text : texts)
        Write(text, newline);
}

// clock() counts in CLOCKS_PER_SEC ticks per second (one million here).
static double processor_ticks() {
    return double(std::clock());
}

Timer::Timer() : start(processor_ticks()), stop(start) {}

void Timer::Start() {
    start = processor_ticks();
}

void Timer::Stop() {
    stop = processor_ticks();
}

double Timer::GetTime() const {
    return (stop - start) / double(CLOCKS_PER_SEC);
}

double Timer::GetElapsed() {
    Stop();
    return GetTime();
}

#pragma once
// Per-call log file on the user's desktop, and a processor-time stopwatch.

#include <fstream>
#include <string>
#include <vector>

// ---- Logger ------------------------------------------------------------------
// Appends text to "<desktop>/<name>.log". Every Write opens the file, appends
// and closes it again, so the log is complete even if the process dies. A write
// that cannot open the file is lost silently; the next one tries again.
class Logger {
public:
    // Builds the path: desktop folder + "/" + name + ".log", at most 254 bytes.
    // When the desktop folder does not fit, the file goes to the current folder.
    explicit Logger(const char* name);

    // Closes the stream if it is open.
    ~Logger();

    // Opens the file for appending (created if missing).
    void Open();

    // Closes the file; a failed close only sets the stream's fail state.
    void Close();

    // Appends text, then a line feed when newline is set.
    void Write(const char* text, bool newline);

    // Appends the decimal form of value ("-7").
    void Write(int value, bool newline);

    // Appends value in the stream's default form: six significant digits, fixed
    // or exponent form, whichever is shorter ("0.1", "1.23457e+06").
    void Write(double value, bool newline);

    // Appends text, as the C string form.
    void Write(const std::string& text, bool newline);

    // Appends each element in order, each with the same newline flag.
    void Write(const std::vector<std::string>& texts, bool newline);

    // Appends UTF-16 text converted to UTF-8 by the host's string suite; nothing
    // is written when the host cannot make or copy the string. Throws the
    // acquisition error (uint32_t) when the host has no string suite.
    void Write(const std::u16string& text, bool newline);

    // Appends each element as above, each with the same newline flag.
    void Write(const std::vector<std::u16string>& texts, bool newline);

    // Returns the log file's path.
    const char* GetPath() const { return path; }

private:
    template <typename T> void Append(const T& value, bool newline);

    char path[256];
    std::ofstream stream;
};

// ---- Timer -------------------------------------------------------------------
// Measures processor time of the whole process (clock()), not wall time: time
// spent waiting idle does not count.
class Timer {
public:
    // Reads the clock into both start and stop.
    Timer();

    // Sets start to the clock.
    void Start();

    // Sets stop to the clock.
    void Stop();

    // Returns stop - start in seconds.
    double GetTime() const;

    // Sets stop to the clock and returns stop - start in seconds.
    double GetElapsed();

private:
    double start;
    double stop;
};

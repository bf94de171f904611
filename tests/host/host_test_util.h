#pragma once
// Shared by the host tests: per-test desktop and config folders, stand-in programs, documents.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <sstream>

#include "app/app_test_util.h"
#include "host/host.h"

namespace host_test {

namespace fs = std::filesystem;

using ScopedEnv = app_test::scoped_env;

inline std::string read_text(const fs::path& path) {
    return app_test::contents(path.string());
}

inline void write_text(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Each test gets its own desktop and config folder, and no display.
class HostTest : public testing::Test {
protected:
    HostTest() { fs::create_directories(dir / "desktop"); }

    // Writes the script dir/bin/name; bin_on_path() puts the folder first on PATH.
    void script(const char* name, const std::string& body) {
        fs::create_directories(dir / "bin");
        write_text(dir / "bin" / name, "#!/bin/sh\n" + body);
        chmod((dir / "bin" / name).c_str(), 0755);
    }
    void bin_on_path(bool system_too) {
        const std::string bin = (dir / "bin").string();
        path_env.emplace("PATH", (system_too ? bin + ":/usr/bin:/bin" : bin).c_str());
    }

    std::vector<std::string> log_lines() const {
        return lines_of(read_text(dir / "desktop" / "Spotweave.log"));
    }
    fs::path registry_path() const { return dir / "config" / "spotweave" / "registry"; }

    app_test::temp_folder folder;
    fs::path dir = folder.path;
    ScopedEnv desktop_env{"XDG_DESKTOP_DIR", (dir / "desktop").c_str()};
    ScopedEnv config_env{"XDG_CONFIG_HOME", (dir / "config").c_str()};
    ScopedEnv display_env{"DISPLAY", nullptr}, wayland_env{"WAYLAND_DISPLAY", nullptr};
    std::optional<ScopedEnv> path_env;
};

// Returns a w x h document whose samples follow a fixed pseudo-random sequence.
inline host_document_s make_document(int32_t w, int32_t h, int16_t planes, int16_t depth,
                                     uint32_t seed = 1) {
    host_document_s doc;
    doc.width = w;
    doc.height = h;
    doc.planes = planes;
    doc.depth = depth;
    doc.samples.resize(size_t(w) * size_t(h) * size_t(planes));
    uint32_t state = seed * 2654435761u + 1;
    for (uint16_t& s : doc.samples) {
        state = state * 1664525u + 1013904223u;
        s = uint16_t(depth == 16 ? state >> 16 : state >> 24);
    }
    return doc;
}

inline host_desc_s parse_desc(const char* text) {
    host_desc_s desc;
    std::string error;
    EXPECT_TRUE(host_desc_parse(text, &desc, &error)) << error;
    return desc;
}

inline VRect whole(const host_document_s& doc) {
    return VRect{0, 0, doc.height, doc.width};
}

// Returns whether every RGB sample of doc's rect is 0 or 255 and both occur.
inline bool is_line_drawing(const host_document_s& doc, VRect r) {
    bool black = false, white = false;
    const uint16_t top = doc.depth == 16 ? 65535 : 255;
    for (int32_t y = r.top; y < r.bottom; y++)
        for (int32_t x = r.left; x < r.right; x++)
            for (int p = 0; p < 3; p++) {
                uint16_t v = doc.samples[(size_t(y) * doc.width + x) * doc.planes + p];
                if (v != 0 && v != top)
                    return false;
                black |= v == 0;
                white |= v == top;
            }
    return black && white;
}

} // namespace host_test

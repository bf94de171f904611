#pragma once
// Shared by the app tests: a temporary folder, a scoped environment variable, whole-file reads.

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace app_test {

namespace fs = std::filesystem;

// A fresh folder, removed with its content at the end of the scope.
struct temp_folder {
    std::string path;
    temp_folder() {
        std::string pattern = (fs::temp_directory_path() / "sw_app_XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~temp_folder() { fs::remove_all(path); }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path))
            names.push_back(e.path().filename().string());
        return names;
    }
};

// Sets (value) or unsets (null) an environment variable for the scope.
struct scoped_env {
    std::string name;
    std::optional<std::string> old;
    scoped_env(const char* n, const char* value) : name(n) {
        if (const char* v = getenv(n))
            old = v;
        if (value)
            setenv(n, value, 1);
        else
            unsetenv(n);
    }
    ~scoped_env() {
        if (old)
            setenv(name.c_str(), old->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
};

inline std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A zenity first on PATH (and a display): notes its arguments (args()), answers $REPLY or
// cancels when it is unset. Preferences go to the same folder.
struct fake_zenity {
    temp_folder folder;
    scoped_env config{"XDG_CONFIG_HOME", folder.path.c_str()};
    scoped_env path{"PATH", (folder.path + ":/usr/bin:/bin").c_str()};
    scoped_env display{"DISPLAY", ":99"};
    fake_zenity() {
        std::ofstream script(folder.path + "/zenity");
        script << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" << args_file() << "\"\n"
               << "[ -n \"$REPLY\" ] || exit 1\nprintf '%s\\n' \"$REPLY\"\n";
        script.close();
        fs::permissions(folder.path + "/zenity", fs::perms::owner_all);
    }
    std::string args_file() const { return folder.path + "/args"; }
    std::string args() const { return contents(args_file()); }
};

} // namespace app_test

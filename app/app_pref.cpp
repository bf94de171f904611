#include "app/app_pref.h"

#include "app/app_file.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

// The file holds one entry per line, "key=value". Backslash, line feed, carriage
// return and "=" are escaped in both as \\, \n, \r and \=, so a line always
// splits at its first bare "=". Lines that do not parse are dropped on rewrite.

using entry_list = std::vector<std::pair<std::string, std::string>>;

static bool config_folder(std::string& folder) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        std::string home_dir;
        if (home && *home) {
            home_dir = home;
        } else {
            passwd entry, *found = nullptr;
            std::vector<char> buffer(16384);
            if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
                !found->pw_dir || !*found->pw_dir)
                return false;
            home_dir = found->pw_dir;
        }
        folder = home_dir + "/.config";
    }
    folder += "/spotweave";
    return true;
}

static std::string escape(const char* text) {
    std::string out;
    for (const char* p = text; *p; p++) {
        switch (*p) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '=':
            out += "\\=";
            break;
        default:
            out += *p;
        }
    }
    return out;
}

static std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            c = text[++i];
            if (c == 'n')
                c = '\n';
            else if (c == 'r')
                c = '\r';
        }
        out += c;
    }
    return out;
}

// Reads all entries; a missing file is an empty list.
static entry_list read_entries(const std::string& file) {
    entry_list entries;
    FILE* f = std::fopen(file.c_str(), "re");
    if (!f)
        return entries;
    std::string line;
    int c;
    do {
        c = std::fgetc(f);
        if (c != EOF && c != '\n') {
            line += char(c);
            continue;
        }
        size_t eq = std::string::npos;
        for (size_t i = 0; i < line.size(); i++) {
            if (line[i] == '\\')
                i++;
            else if (line[i] == '=') {
                eq = i;
                break;
            }
        }
        if (eq != std::string::npos)
            entries.emplace_back(unescape(line.substr(0, eq)), unescape(line.substr(eq + 1)));
        line.clear();
    } while (c != EOF);
    std::fclose(f);
    return entries;
}

static bool make_folders(const std::string& folder) {
    for (size_t i = 1; i <= folder.size(); i++) {
        if (i < folder.size() && folder[i] != '/')
            continue;
        std::string part = folder.substr(0, i);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool app_pref_read(const char* key, int len, char* dst) {
    std::string folder;
    if (!key || len <= 0 || !dst || !config_folder(folder))
        return false;
    for (const auto& [k, v] : read_entries(folder + "/preferences")) {
        if (k != key)
            continue;
        size_t n = v.size() < size_t(len - 1) ? v.size() : size_t(len - 1);
        std::memcpy(dst, v.data(), n);
        dst[n] = '\0';
        return true;
    }
    return false;
}

bool app_pref_write(const char* key, const char* value) {
    std::string folder;
    if (!key || !*key || !config_folder(folder))
        return false;
    std::string file = folder + "/preferences";
    entry_list entries = read_entries(file);
    std::string text;
    bool stored = false;
    for (const auto& [k, v] : entries) {
        if (k == key) {
            // Written in place of the first occurrence; duplicates are dropped.
            if (value && !stored)
                text += escape(key) + "=" + escape(value) + "\n";
            stored = true;
            continue;
        }
        text += escape(k.c_str()) + "=" + escape(v.c_str()) + "\n";
    }
    if (value && !stored)
        text += escape(key) + "=" + escape(value) + "\n";
    if (!make_folders(folder))
        return false;
    return app_file_write(file.c_str(), unsigned(text.size()), text.data());
}

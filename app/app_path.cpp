#include "app/app_path.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static bool copy_out(const std::string& text, int len, char* dst) {
    if (len <= 0 || !dst)
        return false;
    size_t n = text.size() < size_t(len - 1) ? text.size() : size_t(len - 1);
    std::memcpy(dst, text.data(), n);
    dst[n] = '\0';
    return true;
}

static void strip_trailing_slashes(std::string& path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
}

static bool home_folder(std::string& home) {
    const char* env = std::getenv("HOME");
    if (env && *env) {
        home = env;
        return true;
    }
    passwd entry, *found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir) {
        home = found->pw_dir;
        return true;
    }
    return false;
}

// "~" and "$HOME" at the start stand for the home folder.
static std::string expand_home(const std::string& value, const std::string& home) {
    if (value == "~" || value.rfind("~/", 0) == 0)
        return home + value.substr(1);
    if (value == "$HOME" || value.rfind("$HOME/", 0) == 0)
        return home + value.substr(5);
    return value;
}

// Looks key (for example "XDG_DESKTOP_DIR") up in user-dirs.dirs, a shell
// fragment of lines KEY="VALUE". Only values that start with "$HOME", "~" or
// "/" count, as the xdg-user-dirs tools write them.
static bool user_dirs_value(const char* key, const std::string& home, std::string& out) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string file = config && config[0] == '/' ? std::string(config) : home + "/.config";
    file += "/user-dirs.dirs";
    FILE* f = std::fopen(file.c_str(), "re");
    if (!f)
        return false;
    bool found = false;
    size_t key_len = std::strlen(key);
    char line[4096];
    while (std::fgets(line, sizeof line, f)) {
        const char* p = line;
        while (*p == ' ' || *p == '\t')
            p++;
        if (std::strncmp(p, key, key_len) != 0)
            continue;
        p += key_len;
        while (*p == ' ' || *p == '\t')
            p++;
        if (*p++ != '=')
            continue;
        while (*p == ' ' || *p == '\t')
            p++;
        std::string value;
        bool quoted = *p == '"';
        if (quoted)
            p++;
        for (; *p && *p != '\n'; p++) {
            if (quoted && *p == '"')
                break;
            if (!quoted && (*p == ' ' || *p == '\t' || *p == '#'))
                break;
            if (*p == '\\' && p[1] && p[1] != '\n')
                p++;
            value += *p;
        }
        if (value.rfind("$HOME", 0) != 0 && value[0] != '~' && value[0] != '/')
            continue;
        // The last assignment wins, as when the shell reads the file.
        out = expand_home(value, home);
        found = true;
    }
    std::fclose(f);
    return found;
}

static bool user_folder(const char* key, const char* fallback, int len, char* dst) {
    std::string home;
    if (!home_folder(home))
        return false;
    std::string folder;
    const char* env = std::getenv(key);
    if (env && *env)
        folder = expand_home(env, home);
    else if (!user_dirs_value(key, home, folder))
        folder = home + "/" + fallback;
    strip_trailing_slashes(folder);
    return copy_out(folder, len, dst);
}

static bool random_bytes(unsigned char* bytes, size_t count) {
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t got = 0;
    while (got < count) {
        ssize_t n = read(fd, bytes + got, count - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += size_t(n);
    }
    close(fd);
    return got == count;
}

bool app_get_documents_path(int len, char* dst) {
    return user_folder("XDG_DOCUMENTS_DIR", "Documents", len, dst);
}

bool app_get_desktop_path(int len, char* dst) {
    return user_folder("XDG_DESKTOP_DIR", "Desktop", len, dst);
}

bool app_get_temp_path(int len, char* dst) {
    if (len <= 0 || !dst)
        return false;
    unsigned char id[16];
    if (!random_bytes(id, sizeof id))
        return false;
    id[6] = (id[6] & 0x0f) | 0x40; // version 4, random
    id[8] = (id[8] & 0x3f) | 0x80; // RFC 4122 variant
    char uuid[37];
    std::snprintf(uuid, sizeof uuid,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", id[0],
                  id[1], id[2], id[3], id[4], id[5], id[6], id[7], id[8], id[9], id[10], id[11],
                  id[12], id[13], id[14], id[15]);
    const char* env = std::getenv("TMPDIR");
    std::string path = env && *env ? env : "/tmp";
    if (path.back() != '/')
        path += '/';
    return copy_out(path + uuid, len, dst);
}

bool app_resource_path(const char* name, const char* type, int len, char* dst) {
    if (!name || len <= 0 || !dst)
        return false;
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return false;
    std::string path(exe, size_t(n));
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return false;
    path.resize(slash + 1);
    path += name;
    if (type && *type) {
        path += '.';
        path += type;
    }
    return copy_out(path, len, dst);
}

bool path_replace_last_component(const char* path, const char* last, int len, char* dst) {
    if (!path || len <= 0 || !dst)
        return false;
    std::string result = path;
    strip_trailing_slashes(result);
    size_t slash = result.rfind('/');
    if (slash == std::string::npos)
        result.clear();
    else if (result.size() > 1) {
        result.resize(slash + 1);
        strip_trailing_slashes(result);
    }
    if (last && *last) {
        if (!result.empty() && result.back() != '/')
            result += '/';
        result += last;
    }
    return copy_out(result, len, dst);
}

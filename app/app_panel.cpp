#include "app/app_panel.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_log.h"
#include "app/app_path.h"
#include "app/app_pref.h"

extern char** environ;

namespace {

enum class Outcome { ok, cancelled, unavailable };

// Runs zenity with args, collecting its standard output; its standard error
// (toolkit chatter) is dropped. ok: exit status 0.
Outcome app__zenity(const std::vector<std::string>& args, std::string* out) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland)) {
        app_log("spotweave: no display to show a dialog on; taken as cancelled\n");
        return Outcome::unavailable;
    }
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
        app_log("spotweave: cannot start zenity: %s\n", std::strerror(errno));
        return Outcome::unavailable;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("zenity"));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "zenity", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (rc != 0) {
        close(pipe_fds[0]);
        app_log("spotweave: cannot show a dialog: zenity is not installed (%s)\n",
                std::strerror(rc));
        return Outcome::unavailable;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipe_fds[0], buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        out->append(buffer, size_t(n));
    }
    close(pipe_fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        app_log("spotweave: the dialog could not be shown (zenity failed)\n");
        return Outcome::unavailable;
    }
    if (WEXITSTATUS(status) == 1)
        return Outcome::cancelled;
    while (!out->empty() && (out->back() == '\n' || out->back() == '\r'))
        out->pop_back();
    return Outcome::ok;
}

void app__copy(const std::string& text, int len, char* dst) {
    const size_t n = std::min(text.size(), size_t(len - 1));
    std::memcpy(dst, text.data(), n);
    dst[n] = '\0';
}

bool app__remembered(const char* key, const char* title, bool save, int len, char* dst) {
    char folder[4096];
    const bool known = app_pref_read(key, sizeof folder, folder);
    const app_panel_s panel = {title, save ? "png" : "jpg jpeg png", known ? folder : nullptr,
                               save};
    char path[4096];
    if (!app_file_panel(&panel, sizeof path, path))
        return false;
    if (path_replace_last_component(path, nullptr, sizeof folder, folder))
        app_pref_write(key, folder);
    app__copy(path, len, dst);
    return true;
}

} // namespace

bool app_file_panel(const app_panel_s* panel, int len, char* dst) {
    if (len <= 0)
        return false;
    std::vector<std::string> args = {"--file-selection", "--modal"};
    if (panel->title)
        args.push_back(std::string("--title=") + panel->title);
    if (panel->save)
        args.insert(args.end(), {"--save", "--confirm-overwrite"});
    if (panel->folder && *panel->folder)
        args.push_back(std::string("--filename=") + panel->folder + "/");
    if (panel->extensions && *panel->extensions) {
        std::string filter, patterns;
        for (const char* p = panel->extensions; *p;) {
            const char* end = std::strchr(p, ' ');
            const std::string ext(p, end ? size_t(end - p) : std::strlen(p));
            if (!ext.empty())
                patterns += (patterns.empty() ? "*." : " *.") + ext;
            p = end ? end + 1 : p + ext.size();
        }
        args.push_back("--file-filter=" + patterns);
    }
    std::string out;
    if (app__zenity(args, &out) != Outcome::ok || out.empty())
        return false;
    app__copy(out, len, dst);
    return true;
}

bool app_get_save_path(const char* title, const char* extension, int len, char* dst) {
    const app_panel_s panel = {title, extension, nullptr, true};
    return app_file_panel(&panel, len, dst);
}

bool app_get_open_path(const char* title, const char* extension, int len, char* dst) {
    const app_panel_s panel = {title, extension, nullptr, false};
    return app_file_panel(&panel, len, dst);
}

bool app_get_open_image_path(const char* title, int len, char* dst) {
    const app_panel_s panel = {title, "jpg jpeg png", nullptr, false};
    return app_file_panel(&panel, len, dst);
}

bool app_get_save_image_path(const char* title, int len, char* dst) {
    return app_get_save_path(title, "png", len, dst);
}

bool app_get_image_load_path_remembered(const char* title, int len, char* dst) {
    return app__remembered("load.dir", title, false, len, dst);
}

bool app_get_image_save_path_remembered(const char* title, int len, char* dst) {
    return app__remembered("save.dir", title, true, len, dst);
}

void app_alert(const char* title, const char* message) {
    std::string out;
    app__zenity({"--info", "--modal", "--no-markup", std::string("--title=") + (title ? title : ""),
                 std::string("--text=") + (message ? message : "")},
                &out);
}

void app_prompt(const char* title, const char* message, void (*cb)(void* user, const char* text),
                void* user) {
    std::string out;
    // The title is the question; the message explains it.
    const std::string text =
        std::string(title ? title : "") + (message && *message ? std::string("\n") + message : "");
    const bool ok = app__zenity({"--entry", "--hide-text", "--modal",
                                 "--title=" + std::string(title ? title : ""), "--text=" + text},
                                &out) == Outcome::ok;
    cb(user, ok ? out.c_str() : nullptr);
}

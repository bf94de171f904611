// The about box: a warning-style alert (zenity) with "OK" and two buttons that
// open the host's documentation pages through the host's file-list suite.

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app_log.h"
#include "common/PluginMain.h"
#include "common/psdk_suites.h"

extern char** environ;

// Number of the about box, logged when it opens.
static constexpr int PSDK_ABOUT_ID = 16000;

static const char* const PSDK_ABOUT_MESSAGE = "About Spotweave";
static const char* const PSDK_ABOUT_INFO = "Plug-in by Kestrelworks";

// Returns "file://" + path with every byte outside the unreserved set and "/"
// percent-encoded.
static std::string file_url(const std::string& path) {
    static const char* const hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            url += char(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

// Writes the addresses of the host's two documentation pages, which are
// installed in the "doc" folder beside the module: the home page (README.md)
// and the host's own page (host.md).
static void documentation_urls(std::string* home, std::string* host) {
    std::string folder = ".";
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&DoAbout), &info) && info.dli_fname) {
        char* resolved = realpath(info.dli_fname, nullptr);
        std::string module = resolved ? resolved : info.dli_fname;
        std::free(resolved);
        size_t slash = module.rfind('/');
        if (slash != std::string::npos)
            folder = module.substr(0, slash);
    }
    *home = file_url(folder + "/doc/README.md");
    *host = file_url(folder + "/doc/host.md");
}

// Shows the alert and returns the button chosen: 0 "OK", 1 and 2 the two
// addresses, 3 when the window was closed without a button, -1 when no alert
// could be shown (said on standard error).
static int about_alert(const std::string& home, const std::string& host) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland)) {
        app_log("Spotweave: cannot show the about box: no display (DISPLAY and WAYLAND_DISPLAY "
                "are unset). %s: %s.\n",
                PSDK_ABOUT_MESSAGE, PSDK_ABOUT_INFO);
        return -1;
    }

    std::string text = std::string("--text=") + PSDK_ABOUT_MESSAGE + "\n\n" + PSDK_ABOUT_INFO;
    std::string extra_home = "--extra-button=" + home;
    std::string extra_host = "--extra-button=" + host;
    const char* argv[] = {"zenity",           "--warning",        "--title=Spotweave",
                          "--no-markup",      text.c_str(),       "--ok-label=OK",
                          extra_home.c_str(), extra_host.c_str(), nullptr};

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        app_log("Spotweave: cannot show the about box: %s\n", std::strerror(errno));
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = -1;
    int spawned =
        posix_spawnp(&pid, "zenity", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        app_log("Spotweave: cannot show the about box: zenity: %s. %s: %s.\n",
                std::strerror(spawned), PSDK_ABOUT_MESSAGE, PSDK_ABOUT_INFO);
        return -1;
    }

    std::string answer;
    char buffer[512];
    for (;;) {
        ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        answer.append(buffer, size_t(n));
    }
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r'))
        answer.pop_back();

    // An extra button prints its label; OK prints nothing and exits 0.
    if (answer == home)
        return 1;
    if (answer == host)
        return 2;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return 0;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 1)
        return 3;
    app_log("Spotweave: the about box failed (zenity ended with status %d).\n",
            WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return -1;
}

void DoAbout() {
    syslog(LOG_INFO, "DoAbout is: %d\n", PSDK_ABOUT_ID);
    std::string home, host;
    documentation_urls(&home, &host);
    int button = about_alert(home, host);
    if (button == 0) {
        syslog(LOG_INFO, "DoAbout ok clicked.\n");
    } else if (button == 1 || button == 2) {
        if (!sPSFileList.suite)
            sPSFileList.AcquireSuite(true);
        sPSFileList.suite->BrowseUrl(button == 1 ? home.c_str() : host.c_str());
    }
}

#include "app/app_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// The process's umask, read without changing it (umask(2) would, racing other threads).
static mode_t current_umask() {
    mode_t mask = 022;
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned value;
        while (std::fgets(line, sizeof line, f)) {
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = mode_t(value) & 0777;
                break;
            }
        }
        std::fclose(f);
    }
    return mask;
}

// The folder part of path: "." for a bare name, "/" for a name in the root.
static std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Sets errno and returns false when path exists and is not a regular file,
// which a rename would replace (a device node, a FIFO) or cannot (a folder).
static bool replaceable(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0 || S_ISREG(st.st_mode))
        return true;
    errno = S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
    return false;
}

static bool write_all(int fd, const unsigned char* bytes, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

namespace {

// A file being written next to its final path; removed again unless committed.
class pending_file {
public:
    // Creates the temporary file in the folder of path. Check ok() afterwards.
    explicit pending_file(const char* path) : target(path) {
        std::string folder, base = target;
        size_t slash = target.rfind('/');
        if (slash != std::string::npos) {
            folder = target.substr(0, slash + 1);
            base = target.substr(slash + 1);
        }
        // Keep the temporary name within the file-name limit.
        if (base.size() > 200)
            base.resize(200);
        temp = folder + "." + base + ".XXXXXX";
        fd = mkostemp(temp.data(), O_CLOEXEC);
        created = fd >= 0;
    }

    ~pending_file() {
        if (fd >= 0)
            close(fd);
        if (created && !committed)
            unlink(temp.c_str());
    }

    bool ok() const { return fd >= 0; }
    int descriptor() const { return fd; }

    // Flushes the data to disk and renames it over the target path. Existing
    // targets keep their permission bits; new files get 0666 less the umask.
    bool commit(mode_t new_mode) {
        struct stat st;
        mode_t mode = new_mode;
        // Checked again here: the path may have changed while the data was written.
        if (!replaceable(target.c_str()))
            return false;
        if (stat(target.c_str(), &st) == 0)
            mode = st.st_mode & 07777;
        if (fchmod(fd, mode) != 0 || fsync(fd) != 0)
            return false;
        int result = close(fd);
        fd = -1;
        if (result != 0 || rename(temp.c_str(), target.c_str()) != 0)
            return false;
        committed = true;
        sync_folder();
        return true;
    }

private:
    // Makes the rename itself durable; a failure here loses nothing already written.
    void sync_folder() {
        int dir = open(folder_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            fsync(dir);
            close(dir);
        }
    }

    std::string target, temp;
    int fd = -1;
    bool created = false, committed = false;
};

} // namespace

bool app_file_write(const char* path, unsigned size, const void* bytes) {
    if (!path || !*path || (size > 0 && !bytes) || !replaceable(path))
        return false;
    pending_file out(path);
    if (!out.ok())
        return false;
    if (!write_all(out.descriptor(), static_cast<const unsigned char*>(bytes), size))
        return false;
    return out.commit(0666 & ~current_umask());
}

bool app_file_copy(const char* from, const char* to) {
    if (!from || !*from || !to || !*to || !replaceable(to))
        return false;
    int in = open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    bool ok = false;
    struct stat st;
    if (fstat(in, &st) == 0 && !S_ISDIR(st.st_mode)) {
        pending_file out(to);
        if (out.ok()) {
            static const size_t CHUNK = 65536;
            unsigned char* buffer = static_cast<unsigned char*>(std::malloc(CHUNK));
            ok = buffer != nullptr;
            while (ok) {
                ssize_t n = read(in, buffer, CHUNK);
                if (n == 0)
                    break;
                if (n < 0 && errno == EINTR)
                    continue;
                ok = n > 0 && write_all(out.descriptor(), buffer, size_t(n));
            }
            std::free(buffer);
            if (ok)
                ok = out.commit(st.st_mode & 0777 & ~current_umask());
        }
    }
    close(in);
    return ok;
}

bool app_file_same(const char* a, const char* b) {
    if (std::strcmp(a, b) == 0)
        return true;
    struct stat sa, sb;
    const bool has_a = stat(a, &sa) == 0, has_b = stat(b, &sb) == 0;
    if (has_a || has_b)
        return has_a && has_b && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    // Neither exists yet: the same name in the same folder is the same file to be.
    const std::string pa = a, pb = b;
    const size_t na = pa.rfind('/'), nb = pb.rfind('/');
    const std::string base_a = na == std::string::npos ? pa : pa.substr(na + 1);
    const std::string base_b = nb == std::string::npos ? pb : pb.substr(nb + 1);
    return base_a == base_b && !base_a.empty() && stat(folder_of(pa).c_str(), &sa) == 0 &&
           stat(folder_of(pb).c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Writes the reason into why and returns false.
static bool refuse(char* why, unsigned why_size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
static bool refuse(char* why, unsigned why_size, const char* format, ...) {
    if (why && why_size > 0) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(why, why_size, format, args);
        va_end(args);
    }
    return false;
}

bool app_file_check_output(const char* path, char* why, unsigned why_size) {
    if (!path || !*path)
        return refuse(why, why_size, "no file name given");
    struct stat st;
    if (stat(path, &st) == 0 && !S_ISREG(st.st_mode))
        return refuse(why, why_size, "%s",
                      S_ISDIR(st.st_mode) ? "it is a folder"
                                          : "it is not a regular file (a device, FIFO or socket)");
    const std::string folder = folder_of(path);
    const int missing = stat(folder.c_str(), &st) == 0 ? 0 : errno;
    if (missing != 0 && missing != ENOENT && missing != ENOTDIR)
        return refuse(why, why_size, "%s", std::strerror(missing));
    if (missing != 0 || !S_ISDIR(st.st_mode))
        return refuse(why, why_size, "folder '%s' does not exist", folder.c_str());
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return refuse(why, why_size, "%s", std::strerror(errno));
    return true;
}

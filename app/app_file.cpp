#include "app/app_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
        if (stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
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
        size_t slash = target.rfind('/');
        std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
        int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    if (!path || !*path || (size > 0 && !bytes))
        return false;
    pending_file out(path);
    if (!out.ok())
        return false;
    if (!write_all(out.descriptor(), static_cast<const unsigned char*>(bytes), size))
        return false;
    return out.commit(0666 & ~current_umask());
}

bool app_file_copy(const char* from, const char* to) {
    if (!from || !*from || !to || !*to)
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

#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Closes a descriptor on every path.
struct file_descriptor {
    int fd;
    explicit file_descriptor(int f) : fd(f) {}
    file_descriptor(const file_descriptor&) = delete;
    file_descriptor& operator=(const file_descriptor&) = delete;
    ~file_descriptor() {
        if (fd > STDERR_FILENO) close(fd);
    }
};

std::string system_error() { return std::strerror(errno); }

}  // namespace

bool read_input(const std::string& path, std::string& text, std::string& error) {
    const file_descriptor in(path == "-" ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.fd < 0 || fstat(in.fd, &st) != 0) {
        error = system_error();
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = std::strerror(EISDIR);
        return false;
    }
    text.clear();
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = read(in.fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = system_error();
            return false;
        }
        if (got == 0) return true;
        if (text.size() + static_cast<std::size_t>(got) > max_plan_size) {
            error = "larger than " + std::to_string(max_plan_size >> 20) + " MiB";
            return false;
        }
        text.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

bool write_all(int fd, std::string_view text, std::string& error) {
    while (!text.empty()) {
        const ssize_t put = write(fd, text.data(), text.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            error = put < 0 ? system_error() : "nothing written";
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

bool replace_file(const std::string& path, std::string_view text, std::string& error) {
    std::string temporary = path + ".XXXXXX";
    const file_descriptor out(mkstemp(temporary.data()));
    if (out.fd < 0) {
        error = system_error();
        return false;
    }
    // mkstemp makes the file for its owner alone; a plan is no secret, so it
    // gets what the umask grants a new file.
    const mode_t mask = umask(0);
    umask(mask);
    const bool done = fchmod(out.fd, 0666 & ~mask) == 0 && write_all(out.fd, text, error) &&
                      fsync(out.fd) == 0 && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!done) {
        if (error.empty()) error = system_error();
        unlink(temporary.c_str());
    }
    return done;
}

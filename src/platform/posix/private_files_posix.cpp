#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/errno_text.hpp"
#include "platform/private_files.hpp"

namespace quizhost {
namespace {

[[noreturn]] void fail(const std::string& what, int error) {
    throw private_files_error(what + ": " + errno_text(error));
}

// Kernels older than getrandom(2) (3.17) still have the device.
void read_urandom(unsigned char* bytes, std::size_t count) {
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail("cannot open /dev/urandom", errno);
    while (count > 0) {
        const ssize_t got = ::read(fd, bytes, count);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            const int error = got < 0 ? errno : EIO;
            ::close(fd);
            fail("cannot read /dev/urandom", error);
        }
        bytes += got;
        count -= static_cast<std::size_t>(got);
    }
    ::close(fd);
}

// A folder only this user may enter: made 0700 when missing, refused when it is a link, someone else's,
// or open to others and not ours to close.
void make_own_folder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) fail("cannot create " + path, errno);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) fail("cannot examine " + path, errno);
    if (!S_ISDIR(info.st_mode)) throw private_files_error(path + " is not a folder");
    if (info.st_uid != ::geteuid()) throw private_files_error(path + " belongs to another user");
    if ((info.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) fail("cannot make " + path + " private", errno);
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

void fill_system_random(unsigned char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t got = ::getrandom(bytes, count, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == ENOSYS) return read_urandom(bytes, count);
        if (got < 0) fail("the system's random generator failed", errno);
        bytes += got;
        count -= static_cast<std::size_t>(got);
    }
}

std::string private_folder() {
    std::string base = environment("XDG_RUNTIME_DIR");
    if (base.empty() || base.front() != '/') {
        // No per-login run-time folder (a service without a session): the user's state folder.
        base = environment("XDG_STATE_HOME");
        if (base.empty() || base.front() != '/') {
            const std::string home = environment("HOME");
            if (home.empty() || home.front() != '/') {
                throw private_files_error("neither XDG_RUNTIME_DIR nor HOME names a folder");
            }
            const std::string local = home + "/.local";
            if (::mkdir(local.c_str(), 0700) != 0 && errno != EEXIST) fail("cannot create " + local, errno);
            base = local + "/state";
            if (::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) fail("cannot create " + base, errno);
        }
    }
    std::string folder = base + "/quizhost";
    make_own_folder(folder);
    return folder;
}

void write_private_file(const std::string& path, const std::string& text) {
    // Written beside it and renamed into place, so a reader never sees half of it; created 0600 and set so
    // again in case an old work file was left with other bits.
    const std::string work = path + ".new";
    ::unlink(work.c_str());
    const int fd = ::open(work.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) fail("cannot create " + work, errno);
    const auto failed = [&](const std::string& what) {
        const int error = errno;
        ::close(fd);
        ::unlink(work.c_str());
        fail(what, error);
    };
    if (::fchmod(fd, 0600) != 0) failed("cannot make " + work + " private");
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t put = ::write(fd, text.data() + written, text.size() - written);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) failed("cannot write " + work);
        written += static_cast<std::size_t>(put);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(work.c_str());
        fail("cannot write " + work, error);
    }
    if (::rename(work.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(work.c_str());
        fail("cannot replace " + path, error);
    }
}

}  // namespace quizhost

// Advisory file locks with flock(2): held by the open file, released when it is closed, so a process that
// dies lets its lock go.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "definitions.hpp"
#include "platform/file_lock.hpp"
#include "platform/posix/errno_text.hpp"

namespace quizhost {
namespace {

class posix_file_lock final : public file_lock {
public:
    explicit posix_file_lock(int fd) : fd_(fd) {}
    ~posix_file_lock() override {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    posix_file_lock(const posix_file_lock&) = delete;
    posix_file_lock& operator=(const posix_file_lock&) = delete;

private:
    int fd_;
};

}  // namespace

std::unique_ptr<file_lock> lock_file(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int number = errno == ENOENT || errno == ENOTDIR ? path_not_found : path_file_access_error;
        throw run_time_error(number, error_description(number), path + ": " + errno_text(errno));
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd);
        throw run_time_error(path_file_access_error, error_description(path_file_access_error),
                             path + ": " + errno_text(error));
    }
    return std::make_unique<posix_file_lock>(fd);
}

}  // namespace quizhost

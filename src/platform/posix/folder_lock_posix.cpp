// The cabinet folder's lock is flock(2) on the folder itself, opened read-only: nothing is created in the
// folder and no byte of it changes, not even for the host that is turned away. flock belongs to the
// folder's inode, so every path to the folder meets the same lock, and the system drops it with the
// process that holds it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "definitions.hpp"
#include "platform/folder_lock.hpp"
#include "platform/posix/errno_text.hpp"

namespace quizhost {
namespace {

class posix_folder_lock final : public file_lock {
public:
    explicit posix_folder_lock(int fd) : fd_(fd) {}
    ~posix_folder_lock() override { ::close(fd_); }  // closing the only descriptor releases the lock
    posix_folder_lock(const posix_folder_lock&) = delete;
    posix_folder_lock& operator=(const posix_folder_lock&) = delete;

private:
    int fd_;
};

// Linux lists every flock in /proc/locks with the process that took it and the locked file as
// "MAJOR:MINOR:INODE" in hexadecimal device numbers: "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF".
// Elsewhere, or when the holder is not listed, "".
std::string flock_holder(int fd) {
    struct stat folder {};
    if (::fstat(fd, &folder) != 0) return {};
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        if (!(fields >> number >> kind)) continue;
        if (kind == "->") fields >> kind;  // a process waiting for the lock, listed below its holder
        if (kind != "FLOCK" || !(fields >> mode >> access >> pid >> file)) continue;
        unsigned major_number = 0, minor_number = 0;
        unsigned long long inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu", &major_number, &minor_number, &inode) != 3) continue;
        if (inode == folder.st_ino && major_number == major(folder.st_dev) && minor_number == minor(folder.st_dev)) {
            return "process " + pid;
        }
    }
    return {};
}

}  // namespace

std::unique_ptr<file_lock> try_lock_folder(const std::string& folder, std::string& holder) {
    holder.clear();
    int fd;
    do {
        fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int number = errno == ENOENT || errno == ENOTDIR ? path_not_found : path_file_access_error;
        throw run_time_error(number, error_description(number), folder + ": " + errno_text(errno));
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        if (error == EWOULDBLOCK) holder = flock_holder(fd);
        ::close(fd);
        if (error == EWOULDBLOCK) return nullptr;
        throw run_time_error(path_file_access_error, error_description(path_file_access_error),
                             folder + ": " + errno_text(error));
    }
    return std::make_unique<posix_folder_lock>(fd);
}

}  // namespace quizhost

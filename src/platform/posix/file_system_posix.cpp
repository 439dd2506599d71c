// The file system seam over POSIX calls: real files, fdatasync of files and fsync of folders, rename(2)
// and, on Linux, renameat2(2)'s exchange for the atomic replace.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <vector>

#include "basic/text.hpp"
#include "definitions.hpp"
#include "platform/file_system.hpp"
#include "platform/posix/errno_text.hpp"

namespace quizhost {
namespace {

bool is_folder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

[[noreturn]] void fail(int error, const std::string& path) {
    int number = path_file_access_error;
    // A missing file in a folder that is there is "File not found"; when the folder itself is missing the
    // operator has to create a folder, not a file, so say "Path not found".
    if (error == ENOENT) number = is_folder(folder_of(path)) ? file_not_found : path_not_found;
    if (error == ENOTDIR) number = path_not_found;
    if (error == EACCES || error == EPERM || error == EROFS) number = permission_denied;
    throw run_time_error(number, error_description(number), path + ": " + errno_text(error));
}

class fd_guard {
public:
    explicit fd_guard(int fd) : fd_(fd) {}
    ~fd_guard() {
        if (fd_ >= 0) ::close(fd_);
    }
    fd_guard(const fd_guard&) = delete;
    fd_guard& operator=(const fd_guard&) = delete;
    int get() const { return fd_; }
    // Closes now and reports a failed close (NFS and full disks report write errors here).
    void close_checked(const std::string& path) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) fail(errno, path);
    }

private:
    int fd_;
};

int open_or_fail(const std::string& path, int flags, mode_t mode = 0644) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) fail(errno, path);
    return fd;
}

void write_all(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno, path);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Reads up to `size` bytes at `offset`; fewer only at the end of the file.
std::size_t read_at(int fd, char* into, std::size_t size, off_t offset, const std::string& path) {
    std::size_t have = 0;
    while (have < size) {
        const ssize_t n = ::pread(fd, into + have, size - have, offset + static_cast<off_t>(have));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno, path);
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    return have;
}

// memchr is vectorised by the C library, and lines are long enough for its call to pay off.
long count_line_ends_in(const char* p, std::size_t size) {
    const char* const end = p + size;
    long count = 0;
    while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr) {
        ++count;
        ++p;
    }
    return count;
}

// EINVAL: the file system keeps nothing to sync (a pipe, some special file systems).
void fsync_or_fail(int fd, const std::string& path) {
    if (::fsync(fd) != 0 && errno != EINVAL) fail(errno, path);
}

void fdatasync_or_fail(int fd, const std::string& path) {
    if (::fdatasync(fd) != 0 && errno != EINVAL) fail(errno, path);
}

class posix_file_system final : public file_system {
public:
    bool file_exists(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    bool folder_exists(const std::string& path) override { return is_folder(path); }

    void create_folder(const std::string& path) override {
        std::string folder = path;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        if (::mkdir(folder.c_str(), 0755) != 0 && !(errno == EEXIST && folder_exists(folder))) {
            fail(errno == ENOENT ? ENOTDIR : errno, path);
        }
    }

    std::int64_t file_size(const std::string& path) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) fail(errno, path);
        return static_cast<std::int64_t>(st.st_size);
    }

    std::optional<std::int64_t> modified_time(const std::string& path) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return std::nullopt;
        return static_cast<std::int64_t>(st.st_mtime);
    }

    std::string read_file(const std::string& path) override {
        fd_guard fd(open_or_fail(path, O_RDONLY));
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) fail(errno, path);
        if (S_ISDIR(st.st_mode)) fail(EISDIR, path);
        std::string bytes;
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t have = 0;
        for (;;) {
            if (have == bytes.size()) bytes.resize(bytes.size() + 65536);  // the file grew meanwhile
            const ssize_t n = ::read(fd.get(), bytes.data() + have, bytes.size() - have);
            if (n < 0) {
                if (errno == EINTR) continue;
                fail(errno, path);
            }
            if (n == 0) break;
            have += static_cast<std::size_t>(n);
        }
        bytes.resize(have);
        return bytes;
    }

    // Two passes over one open file in pieces small enough to stay in the processor's cache: the first
    // counts the lines and notes how many end before each piece, the second goes straight to the piece
    // where the chosen line starts. The file is never held whole, and both passes read the same file
    // even if another one is renamed over its name meanwhile.
    std::string read_counted_line(const std::string& path, const std::function<long(long count)>& choose) override {
        fd_guard fd(open_or_fail(path, O_RDONLY));
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) fail(errno, path);
        if (S_ISDIR(st.st_mode)) fail(EISDIR, path);
        piece_.resize(piece_size);

        struct piece_mark {
            off_t offset;
            long lines_before;
        };
        std::vector<piece_mark> marks;
        long line_ends = 0;
        off_t offset = 0;
        char last = '\n';
        for (;;) {
            const std::size_t n = read_at(fd.get(), piece_.data(), piece_size, offset, path);
            if (n == 0) break;
            marks.push_back({offset, line_ends});
            line_ends += count_line_ends_in(piece_.data(), n);
            last = piece_[n - 1];
            offset += static_cast<off_t>(n);
            if (n < piece_size) break;
        }
        const long count = line_ends + (last != '\n' ? 1 : 0);

        const long wanted = choose(count);
        if (wanted < 1 || wanted > count) {
            throw run_time_error(input_past_end_of_file, error_description(input_past_end_of_file), path);
        }
        // The line starts after line end number wanted - 1: find the piece that holds that line end.
        std::size_t at = 0;
        while (at + 1 < marks.size() && marks[at + 1].lines_before < wanted - 1) ++at;
        return line_from(fd.get(), path, marks[at].offset, wanted - 1 - marks[at].lines_before);
    }

    void append_to_file(const std::string& path, std::string_view bytes) override {
        fd_guard fd(open_or_fail(path, O_WRONLY | O_APPEND));
        write_all(fd.get(), bytes, path);
        fd.close_checked(path);
    }

    // In place, cut to length afterwards: rewriting a file the disk already holds reuses its blocks, and
    // syncing it then writes only data, where a truncated or new file needs its blocks allocated again.
    void write_file(const std::string& path, std::string_view bytes) override {
        fd_guard fd(open_or_fail(path, O_WRONLY | O_CREAT));
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) fail(errno, path);
        write_all(fd.get(), bytes, path);
        const auto size = static_cast<off_t>(bytes.size());
        if (st.st_size > size && ::ftruncate(fd.get(), size) != 0) fail(errno, path);
        fd.close_checked(path);
    }

    void copy_file(const std::string& from, const std::string& to) override { write_file(to, read_file(from)); }

    void delete_file(const std::string& path) override {
        if (::unlink(path.c_str()) != 0) fail(errno, path);
    }

    void rename_file(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) fail(errno, from);
    }

    bool exchange_files(const std::string& a, const std::string& b) override {
#ifdef RENAME_EXCHANGE
        if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return true;
        // A missing file, or a kernel or file system without the exchange: the caller renames instead.
        if (errno == ENOENT || errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) return false;
        fail(errno, a);
#else
        (void)a, (void)b;
        return false;
#endif
    }

    void sync_file(const std::string& path) override {
        fd_guard fd(open_or_fail(path, O_RDONLY));
        fdatasync_or_fail(fd.get(), path);
    }

    void sync_folder(const std::string& path) override {
        fd_guard fd(open_or_fail(path, O_RDONLY | O_DIRECTORY));
        fsync_or_fail(fd.get(), path);
    }

private:
    static constexpr std::size_t piece_size = std::size_t{256} * 1024;

    // The line that starts after `skip` line ends from `offset` on, without its line end. A file cut
    // short since it was counted has no such line: error 62.
    std::string line_from(int fd, const std::string& path, off_t offset, long skip) {
        std::string line;
        bool started = skip == 0;
        for (;;) {
            const std::size_t n = read_at(fd, piece_.data(), piece_size, offset, path);
            if (n == 0) break;
            const char* p = piece_.data();
            const char* end = p + n;
            while (!started) {
                p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
                if (p == nullptr) break;
                ++p;
                started = --skip == 0;
            }
            if (started && p != nullptr) {
                const char* stop = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
                line.append(p, stop == nullptr ? end : stop);
                if (stop != nullptr) return std::string(without_cr(line));
            }
            offset += static_cast<off_t>(n);
        }
        if (!started) throw run_time_error(input_past_end_of_file, error_description(input_past_end_of_file), path);
        return std::string(without_cr(line));
    }

    std::vector<char> piece_;  // reused by every read, so large files cost no allocation per call
};

}  // namespace

std::unique_ptr<file_system> make_native_file_system() { return std::make_unique<posix_file_system>(); }

}  // namespace quizhost

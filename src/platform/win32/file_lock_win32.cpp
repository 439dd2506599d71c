// Advisory file locks with LockFileEx: held by the open handle, released when it is closed, so a process
// that dies lets its lock go.
#include <windows.h>

#include "definitions.hpp"
#include "platform/file_lock.hpp"
#include "platform/win32/win32_error.hpp"

namespace quizhost {
namespace {

class win32_file_lock final : public file_lock {
public:
    explicit win32_file_lock(HANDLE file) : file_(file) {}
    ~win32_file_lock() override {
        OVERLAPPED whole{};
        ::UnlockFileEx(file_, 0, MAXDWORD, MAXDWORD, &whole);
        ::CloseHandle(file_);
    }
    win32_file_lock(const win32_file_lock&) = delete;
    win32_file_lock& operator=(const win32_file_lock&) = delete;

private:
    HANDLE file_;
};

}  // namespace

std::unique_ptr<file_lock> lock_file(const std::string& path) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // Any failure to open the lock file is an access error, unless its folder is missing.
        win32::fail_file_call(code == ERROR_PATH_NOT_FOUND ? code : ERROR_GEN_FAILURE, path);
    }
    OVERLAPPED whole{};
    // The whole file's range, exclusive, waiting for as long as another holder keeps it.
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        const DWORD code = ::GetLastError();
        ::CloseHandle(file);
        win32::fail_file_call(code == ERROR_PATH_NOT_FOUND ? code : ERROR_GEN_FAILURE, path);
    }
    return std::make_unique<win32_file_lock>(file);
}

}  // namespace quizhost

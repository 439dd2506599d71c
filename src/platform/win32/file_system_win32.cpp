// The file system seam over the Windows file calls. Whole-file rewrites go through replace_file: the work
// file is written and flushed to the disk (FlushFileBuffers), then moved over the target with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH, which replaces it in one step and returns only once
// the move is on the disk.
#include <windows.h>

#include <algorithm>

#include "definitions.hpp"
#include "platform/file_system.hpp"
#include "platform/win32/win32_error.hpp"

namespace quizhost {
namespace {

using win32::fail_file_call;

// Readers and writers let others read, write and move the file meanwhile: a reader holding a meter file
// open must never make the atomic replace of that file fail.
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class handle_guard {
public:
    explicit handle_guard(HANDLE handle) : handle_(handle) {}
    ~handle_guard() {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    }
    handle_guard(const handle_guard&) = delete;
    handle_guard& operator=(const handle_guard&) = delete;
    HANDLE get() const { return handle_; }
    // Closes now and reports a failed close (a network share reports late write errors here).
    void close_checked(const std::string& path) {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        if (!::CloseHandle(handle)) fail_file_call(::GetLastError(), path);
    }

private:
    HANDLE handle_;
};

DWORD attributes_of(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

bool is_folder(const std::string& path) {
    const DWORD attributes = attributes_of(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

HANDLE open_or_fail(const std::string& path, DWORD access, DWORD disposition) {
    const HANDLE handle =
        ::CreateFileA(path.c_str(), access, share_all, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // Opening a folder as a file is refused as "access denied"; it is a wrong path, not a refusal.
        if (code == ERROR_ACCESS_DENIED && is_folder(path)) fail_file_call(ERROR_DIRECTORY, path);
        fail_file_call(code, path);
    }
    return handle;
}

void write_all(HANDLE handle, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1U << 30));
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data(), chunk, &written, nullptr)) fail_file_call(::GetLastError(), path);
        if (written == 0) fail_file_call(ERROR_WRITE_FAULT, path);
        bytes.remove_prefix(written);
    }
}

std::string without_trailing_separators(std::string folder) {
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\') && folder[folder.size() - 2] != ':') {
        folder.pop_back();
    }
    return folder;
}

class win32_file_system final : public file_system {
public:
    bool file_exists(const std::string& path) override {
        const DWORD attributes = attributes_of(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    bool folder_exists(const std::string& path) override { return is_folder(path); }

    void create_folder(const std::string& path) override {
        const std::string folder = without_trailing_separators(path);
        if (::CreateDirectoryA(folder.c_str(), nullptr)) return;
        const DWORD code = ::GetLastError();
        if (code == ERROR_ALREADY_EXISTS && is_folder(folder)) return;
        fail_file_call(code == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : code, path);
    }

    std::int64_t file_size(const std::string& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) fail_file_call(::GetLastError(), path);
        return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

    std::optional<std::int64_t> modified_time(const std::string& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
        // FILETIME counts 100 ns steps from 1601-01-01; 11644473600 s lie between that and 1970-01-01.
        const std::uint64_t ticks = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                    data.ftLastWriteTime.dwLowDateTime;
        return static_cast<std::int64_t>(ticks / 10000000) - 11644473600LL;
    }

    std::string read_file(const std::string& path) override {
        handle_guard file(open_or_fail(path, GENERIC_READ, OPEN_EXISTING));
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file.get(), &size)) fail_file_call(::GetLastError(), path);
        std::string bytes;
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t have = 0;
        for (;;) {
            if (have == bytes.size()) bytes.resize(bytes.size() + 65536);  // the file grew meanwhile
            const DWORD room = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - have, 1U << 30));
            DWORD got = 0;
            if (!::ReadFile(file.get(), bytes.data() + have, room, &got, nullptr))
                fail_file_call(::GetLastError(), path);
            if (got == 0) break;
            have += got;
        }
        bytes.resize(have);
        return bytes;
    }

    void append_to_file(const std::string& path, std::string_view bytes) override {
        handle_guard file(open_or_fail(path, FILE_APPEND_DATA, OPEN_EXISTING));
        write_all(file.get(), bytes, path);
        file.close_checked(path);
    }

    void write_file(const std::string& path, std::string_view bytes) override {
        handle_guard file(open_or_fail(path, GENERIC_WRITE, CREATE_ALWAYS));
        write_all(file.get(), bytes, path);
        file.close_checked(path);
    }

    void copy_file(const std::string& from, const std::string& to) override { write_file(to, read_file(from)); }

    void delete_file(const std::string& path) override {
        if (!::DeleteFileA(path.c_str())) fail_file_call(::GetLastError(), path);
    }

    void rename_file(const std::string& from, const std::string& to) override {
        if (!::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            fail_file_call(::GetLastError(), from);
        }
    }

    void sync_file(const std::string& path) override {
        // FlushFileBuffers needs a handle with write access.
        handle_guard file(open_or_fail(path, GENERIC_WRITE, OPEN_EXISTING));
        if (!::FlushFileBuffers(file.get())) fail_file_call(::GetLastError(), path);
    }

    void sync_folder(const std::string& path) override {
        // Nothing to do, and nothing Windows offers: a folder cannot be flushed like a file. The folder
        // entries that must survive a power cut are those of the replacing move, and
        // MOVEFILE_WRITE_THROUGH already returns only once that move is on the disk. The folder must still
        // be there, as it must on other systems.
        if (!is_folder(path)) fail_file_call(ERROR_PATH_NOT_FOUND, path);
    }
};

}  // namespace

std::unique_ptr<file_system> make_native_file_system() { return std::make_unique<win32_file_system>(); }

}  // namespace quizhost

// The cabinet folder's lock on Windows is a named kernel object whose name is the folder's identity: its
// volume's serial number and its file index, read through a handle that shares everything. Nothing is
// created in the folder and no byte of it changes; the folder stays open to every other program (an
// exclusive share mode on it would also shut out Explorer and the host's own listings); and the system
// destroys the object with the last handle, so a process that dies lets its lock go. The name is the
// same by every path to the folder: letter case, "..", short names, junctions and symbolic links all open
// the one folder. The holder's process number is kept in a small named mapping beside it.
#include <windows.h>

#include <cstdio>
#include <string>

#include "definitions.hpp"
#include "platform/folder_lock.hpp"
#include "platform/win32/win32_error.hpp"

namespace quizhost {
namespace {

class win32_folder_lock final : public file_lock {
public:
    win32_folder_lock(HANDLE mutex, HANDLE holder) : mutex_(mutex), holder_(holder) {}
    ~win32_folder_lock() override {
        if (holder_ != nullptr) ::CloseHandle(holder_);
        ::CloseHandle(mutex_);
    }
    win32_folder_lock(const win32_folder_lock&) = delete;
    win32_folder_lock& operator=(const win32_folder_lock&) = delete;

private:
    HANDLE mutex_;
    HANDLE holder_;
};

std::wstring widened(const std::string& text) {
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length - 1 : 0), L'\0');
    if (length > 1) ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    return wide;
}

// "quizhost-cabinet-VOLUME-INDEX" for the folder. The object lives in the namespace every session sees: a
// host run as a service and one started on the desktop must meet.
std::wstring lock_name(const std::string& folder) {
    const HANDLE handle = ::CreateFileW(widened(folder).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // The folder itself is what is missing: a missing path, whichever of the two codes Windows gives.
        const DWORD failure = ::GetLastError();
        win32::fail_file_call(failure == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : failure, folder);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    const DWORD code = ::GetLastError();
    ::CloseHandle(handle);
    if (!known) win32::fail_file_call(code, folder);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) win32::fail_file_call(ERROR_PATH_NOT_FOUND, folder);
    wchar_t name[96];
    std::swprintf(name, sizeof name / sizeof name[0], L"quizhost-cabinet-%08lx-%08lx%08lx",
                  static_cast<unsigned long>(info.dwVolumeSerialNumber),
                  static_cast<unsigned long>(info.nFileIndexHigh), static_cast<unsigned long>(info.nFileIndexLow));
    return name;
}

// Creates the named object; `existed` when another handle already had it. Any process may create a named
// mutex in the global namespace; refused access means it is there, made by a process of another account.
HANDLE create_mutex(const std::wstring& name, bool& existed) {
    const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, (L"Global\\" + name).c_str());
    existed = mutex == nullptr ? ::GetLastError() == ERROR_ACCESS_DENIED : ::GetLastError() == ERROR_ALREADY_EXISTS;
    return mutex;
}

std::wstring holder_name(const std::wstring& name) { return L"Local\\" + name + L"-holder"; }

// The holder's process number, published for a second host to name it; nothing when it cannot be.
HANDLE publish_holder(const std::wstring& name) {
    const HANDLE mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DWORD),
                                                holder_name(name).c_str());
    if (mapping == nullptr) return nullptr;
    if (void* view = ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(DWORD))) {
        *static_cast<volatile DWORD*>(view) = ::GetCurrentProcessId();
        ::UnmapViewOfFile(view);
    }
    return mapping;
}

std::string read_holder(const std::wstring& name) {
    const HANDLE mapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE, holder_name(name).c_str());
    if (mapping == nullptr) return {};
    DWORD pid = 0;
    if (const void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(DWORD))) {
        pid = *static_cast<const volatile DWORD*>(view);
        ::UnmapViewOfFile(view);
    }
    ::CloseHandle(mapping);
    return pid != 0 ? "process " + std::to_string(pid) : std::string();
}

}  // namespace

std::unique_ptr<file_lock> try_lock_folder(const std::string& folder, std::string& holder) {
    holder.clear();
    const std::wstring name = lock_name(folder);
    bool existed = false;
    const HANDLE mutex = create_mutex(name, existed);
    if (existed) {
        if (mutex != nullptr) ::CloseHandle(mutex);
        holder = read_holder(name);
        return nullptr;
    }
    if (mutex == nullptr) win32::fail_file_call(ERROR_GEN_FAILURE, folder);
    return std::make_unique<win32_folder_lock>(mutex, publish_holder(name));
}

}  // namespace quizhost

#include <windows.h>

#include "platform/write_access.hpp"

namespace quizhost {

// Opening for the access a write needs, and closing again, asks the ACL and the read-only attribute without
// changing a byte: adding and deleting files for a folder, writing for a file.
bool may_write(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const HANDLE handle = ::CreateFileA(path.c_str(), folder ? FILE_ADD_FILE | FILE_DELETE_CHILD : GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(handle);
    return true;
}

}  // namespace quizhost

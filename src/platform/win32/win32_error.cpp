#include "platform/win32/win32_error.hpp"

#include "definitions.hpp"
#include "platform/file_system.hpp"

namespace quizhost::win32 {

std::string system_message(DWORD code) {
    char* buffer = nullptr;
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length == 0 || buffer == nullptr ? std::string() : std::string(buffer, length);
    if (buffer != nullptr) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : text;
}

namespace {

bool folder_is_there(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(folder_of(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

void fail_file_call(DWORD code, const std::string& path) {
    int number = path_file_access_error;
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            // A missing folder needs the operator to create a folder, not a file: say so.
            number = folder_is_there(path) ? file_not_found : path_not_found;
            break;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            number = path_not_found;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            number = permission_denied;
            break;
        default:
            break;
    }
    throw run_time_error(number, error_description(number), path + ": " + system_message(code));
}

}  // namespace quizhost::win32

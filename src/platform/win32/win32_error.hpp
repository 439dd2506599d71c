// Shared by the win32 seams: the system's own text for an error code, and the run-time error a failed
// file call becomes.
#pragma once

#include <windows.h>

#include <string>

namespace quizhost::win32 {

// FormatMessage's text for `code` without its trailing line end ("error 1234" when there is none).
std::string system_message(DWORD code);

// The file error numbers as the POSIX build gives them: 53 for a missing file in a folder that is there,
// 76 when the folder itself is missing, 70 for refused access, 75 for anything else.
[[noreturn]] void fail_file_call(DWORD code, const std::string& path);

}  // namespace quizhost::win32

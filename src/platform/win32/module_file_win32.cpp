#include <windows.h>

#include "platform/module_file.hpp"

namespace quizhost {

std::string module_file_of(const void* address) {
    HMODULE module = nullptr;
    // The module holding the address, without taking a reference on it.
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCSTR>(address), &module)) {
        return {};
    }
    char path[MAX_PATH * 4];
    const DWORD length = ::GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path) return {};
    return std::string(path, length);
}

}  // namespace quizhost

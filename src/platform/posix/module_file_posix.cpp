#include <dlfcn.h>

#include "platform/module_file.hpp"

namespace quizhost {

std::string module_file_of(const void* address) {
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

}  // namespace quizhost

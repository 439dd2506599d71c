#include "standin_export.hpp"

#include <dlfcn.h>

#include <cstdio>
#include <exception>

#include "credit_state.hpp"
#include "platform/file_system.hpp"

namespace quizhost::standin {

std::string state_file_beside(const void* anchor) {
    Dl_info info{};
    if (::dladdr(anchor, &info) == 0 || info.dli_fname == nullptr) return state_file_name;
    return folder_of(info.dli_fname) + "/" + state_file_name;
}

void report_failure(const char* library, const char* entry, const std::exception& failure) {
    std::fprintf(stderr, "%s: %s: %s\n", library, entry, failure.what());
}

}  // namespace quizhost::standin

#include "standin_export.hpp"

#include <cstdio>
#include <exception>

#include "credit_state.hpp"
#include "definitions.hpp"
#include "platform/file_system.hpp"
#include "platform/module_file.hpp"
#include "platform/paths.hpp"

namespace quizhost::standin {

std::string state_file_beside(const void* anchor) {
    const std::string library = module_file_of(anchor);
    if (library.empty()) return state_file_name;
    return folder_of(library) + path_separator + state_file_name;
}

void report_failure(const char* library, const char* entry, const std::exception& failure) {
    std::fprintf(stderr, "%s: %s: %s\n", library, entry, failure.what());
}

}  // namespace quizhost::standin

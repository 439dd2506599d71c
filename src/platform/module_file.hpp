// The file a loaded module (an executable or a shared library) was loaded from.
#pragma once

#include <string>

namespace quizhost {

// The path of the module that holds `address` (one of its own functions); "" when the system cannot tell.
std::string module_file_of(const void* address);

}  // namespace quizhost

// Where a stand-in library finds its state file, and how its entry points are exported.
#pragma once

#include <exception>
#include <string>

#ifdef _WIN32
#define STANDIN_EXPORT extern "C" __declspec(dllexport)
#else
#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace quizhost::standin {

// The path of the state file beside the shared library that holds `anchor` (one of its own functions),
// so that the cabinet folder the host loaded the library from also holds its credit.
std::string state_file_beside(const void* anchor);

// Reports a failure inside a stand-in on standard error; entry points cannot throw across the C boundary.
void report_failure(const char* library, const char* entry, const std::exception& failure);

}  // namespace quizhost::standin

// The credit library seam: the cabinet's credit library "tccomm" with its four entry points, bound by
// name at the first call. A missing library is error 53 (48 when it cannot be loaded), a missing entry
// point error 453, raised by the call that needed it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quizhost {

class credit_library {
public:
    virtual ~credit_library() = default;
    virtual std::int32_t cget() = 0;
    virtual std::int32_t bget() = 0;
    virtual std::int32_t cuse(std::int32_t price) = 0;
    virtual std::int32_t badd(std::int32_t amount) = 0;
};

// The machine's credit library, looked for in `program_folder` first, then on the system's search path;
// nothing is loaded until the first call.
std::unique_ptr<credit_library> make_native_credit_library(const std::string& program_folder);

}  // namespace quizhost

#include "platform/display.hpp"

#include <limits>
#include <string>

#include "basic/numbers.hpp"
#include "definitions.hpp"

namespace quizhost {
namespace {

// Error 11 is raised only here, so it is kept beside its one use.
constexpr int division_by_zero = 11;

}  // namespace

std::int32_t pixels_from_twips(double twips, double twips_per_pixel) {
    const std::int32_t numerator = round_to_int32(twips);
    const std::int32_t divisor = round_to_int32(twips_per_pixel);
    if (divisor == 0) {
        throw run_time_error(division_by_zero, "Division by zero",
                             "twips per pixel " + number_to_text(twips_per_pixel));
    }
    // The one quotient of two 32-bit integers that does not fit in one.
    if (divisor == -1 && numerator == std::numeric_limits<std::int32_t>::min()) throw run_time_error(overflow);
    return numerator / divisor;
}

}  // namespace quizhost

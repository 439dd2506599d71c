// Stand-in for the cabinet's credit library "tccomm": credit and bank in credit_state.txt beside the
// library file. cget and bget answer the whole credit and bank; cuse takes one game's price from the
// credit and answers 0, or 1 when the credit is short (nothing taken); badd adds a whole amount to the
// bank and answers 0. A negative price or amount, or a state file that cannot be read or replaced,
// answers -1 and changes nothing.
#include <cstdint>
#include <exception>

#include "basic/numbers.hpp"
#include "credit_state.hpp"
#include "platform/tccomm_abi.h"
#include "standin_export.hpp"

using quizhost::standin::credit_state;

namespace {

constexpr const char* library_name = "libtccomm";

std::int32_t get_whole(const char* entry, const char* key);

template <typename Work>
std::int32_t guarded(const char* entry, Work&& work) {
    try {
        return work();
    } catch (const std::exception& failure) {
        quizhost::standin::report_failure(library_name, entry, failure);
        return -1;
    }
}

std::string state_path() { return quizhost::standin::state_file_beside(reinterpret_cast<const void*>(&get_whole)); }

std::int32_t get_whole(const char* entry, const char* key) {
    return guarded(entry, [key] {
        const credit_state state(state_path());
        return quizhost::round_to_int32(state.number(key));
    });
}

}  // namespace

STANDIN_EXPORT std::int32_t TCCOMM_CALL cget(void) { return get_whole("cget", "credit"); }

STANDIN_EXPORT std::int32_t TCCOMM_CALL bget(void) { return get_whole("bget", "bank"); }

STANDIN_EXPORT std::int32_t TCCOMM_CALL cuse(std::int32_t price) {
    if (price < 0) return -1;
    return guarded("cuse", [price] {
        credit_state state(state_path());
        if (!state.take("credit", price)) return 1;
        state.save();
        return 0;
    });
}

STANDIN_EXPORT std::int32_t TCCOMM_CALL badd(std::int32_t amount) {
    if (amount < 0) return -1;
    return guarded("badd", [amount] {
        credit_state state(state_path());
        state.add("bank", amount);
        state.save();
        return 0;
    });
}

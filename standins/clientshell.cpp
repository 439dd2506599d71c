// Stand-in for the cabinet shell's object: credit, bank and stakes in credit_state.txt beside the library
// file. The shell counts as running while the file holds "shell,running"; attaching to a shell that is not
// running fails with 429, and every method called after the shell went away fails with 440, as a
// disconnected automation object does. UseCreditEx takes the stake of the given level from the credit,
// UseCreditFromBankEx from the bank; either takes nothing when there is not enough. FreeGameStarted counts free games
// in "free_games". See client_shell_abi.h for the calling convention.
#include <cstdint>
#include <exception>

#include "credit_state.hpp"
#include "platform/client_shell_abi.h"
#include "standin_export.hpp"

using quizhost::standin::credit_state;

namespace {

constexpr const char* library_name = "libclientshell";
constexpr int not_running = 429;
constexpr int bad_argument = 5;

std::string state_path();

// Runs `work` on the state of a running shell; 440 when the shell is not running or its state fails.
template <typename Work>
int on_running_shell(const char* entry, Work&& work) {
    try {
        credit_state state(state_path());
        if (!state.shell_running()) return QH_SHELL_AUTOMATION_ERROR;
        const int status = work(state);
        state.save();
        return status;
    } catch (const std::exception& failure) {
        quizhost::standin::report_failure(library_name, entry, failure);
        return QH_SHELL_AUTOMATION_ERROR;
    }
}

std::string state_path() { return quizhost::standin::state_file_beside(reinterpret_cast<const void*>(&state_path)); }

int use_credit(const char* entry, const char* from, const std::int32_t* stake_index) {
    if (stake_index == nullptr || *stake_index < 0 || *stake_index > 9) return bad_argument;
    return on_running_shell(entry, [from, level = *stake_index](credit_state& state) {
        state.take(from, state.stake(level));  // a short balance takes nothing
        return 0;
    });
}

}  // namespace

STANDIN_EXPORT int qh_shell_attach(void) {
    try {
        const credit_state state(state_path());
        return state.shell_running() ? 0 : not_running;
    } catch (const std::exception& failure) {
        quizhost::standin::report_failure(library_name, "attach", failure);
        return not_running;
    }
}

STANDIN_EXPORT int qh_shell_release(void) { return 0; }

STANDIN_EXPORT int qh_shell_GetCredit(double* credit) {
    if (credit == nullptr) return bad_argument;
    return on_running_shell("GetCredit", [credit](credit_state& state) {
        *credit = state.number("credit");
        return 0;
    });
}

STANDIN_EXPORT int qh_shell_GetBank(double* bank) {
    if (bank == nullptr) return bad_argument;
    return on_running_shell("GetBank", [bank](credit_state& state) {
        *bank = state.number("bank");
        return 0;
    });
}

STANDIN_EXPORT int qh_shell_GetStake(std::int16_t* level, double* stake) {
    if (level == nullptr || stake == nullptr) return bad_argument;
    return on_running_shell("GetStake", [level, stake](credit_state& state) {
        *stake = state.stake(*level);
        return 0;
    });
}

STANDIN_EXPORT int qh_shell_UseCreditEx(std::int32_t* stake_index) {
    return use_credit("UseCreditEx", "credit", stake_index);
}

STANDIN_EXPORT int qh_shell_UseCreditFromBankEx(std::int32_t* stake_index) {
    return use_credit("UseCreditFromBankEx", "bank", stake_index);
}

STANDIN_EXPORT int qh_shell_AddToBank(double amount) {
    if (!(amount >= 0)) return bad_argument;  // also NaN
    return on_running_shell("AddToBank", [amount](credit_state& state) {
        state.add("bank", amount);
        return 0;
    });
}

STANDIN_EXPORT int qh_shell_FreeGameStarted(void) {
    return on_running_shell("FreeGameStarted", [](credit_state& state) {
        state.add("free_games", 1);
        return 0;
    });
}

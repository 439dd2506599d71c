// The client shell seam: the cabinet shell's automation object, attached to the running instance (never
// created anew) and called late-bound by method name. Attaching fails with error 429 when the shell is not
// running; a failing method is a run-time error of the command that called it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quizhost {

class shell_object {
public:
    virtual ~shell_object() = default;
    virtual double GetCredit() = 0;
    virtual double GetBank() = 0;
    virtual double GetStake(std::int16_t& level) = 0;         // by reference, a 16-bit integer in a variant
    virtual void UseCreditEx(std::int32_t& stake_index) = 0;  // by reference
    virtual void UseCreditFromBankEx(std::int32_t& stake_index) = 0;
    virtual void AddToBank(double amount) = 0;
    virtual void FreeGameStarted() = 0;
};

class client_shell {
public:
    virtual ~client_shell() = default;
    // The running shell's object; raises error 429 when the shell is not running.
    virtual std::shared_ptr<shell_object> attach() = 0;
};

// The error numbers of a shell call beyond the host's own: the object has no method of that name, and
// the method failed inside the shell.
inline constexpr int shell_no_such_method = 438;
inline constexpr int shell_automation_error = 440;

// The standard description of an error a shell call raises: "Object doesn't support this property or
// method" for 438, "Automation error" for 440, else error_description's.
std::string shell_error_description(int number);

// The machine's cabinet shell (looked for beside the program first).
std::unique_ptr<client_shell> make_native_client_shell(const std::string& program_folder);

}  // namespace quizhost

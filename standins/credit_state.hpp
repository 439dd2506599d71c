// The credit state every stand-in keeps: a keyed record file ("credit_state.txt") holding
//   credit,N          the credit (missing: 0)
//   bank,N            the bank (missing: 0)
//   shell,running     the cabinet shell counts as running (any other value, or none: not running)
//   stakes,S0,...,S9  what the shell's GetStake answers for levels 0 to 9, and what UseCreditEx takes
// Other lines are kept as they are. Each change locks the file against the other stand-ins and the coin
// slot, reads it afresh and replaces it atomically, so no update is lost and no torn file is left.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "records/text_records.hpp"

namespace quizhost {
class file_lock;
class file_system;
}  // namespace quizhost

namespace quizhost::standin {

inline constexpr const char* state_file_name = "credit_state.txt";

// The state file opened for one change (or one reading): locked from construction to destruction.
class credit_state {
public:
    explicit credit_state(std::string path);
    ~credit_state();
    credit_state(const credit_state&) = delete;
    credit_state& operator=(const credit_state&) = delete;

    // Field `field` of the record as a number (its leading number); 0 when missing.
    double number(std::string_view key, long field = 1) const;
    std::string text(std::string_view key, long field = 1) const;
    bool shell_running() const;
    // The stake of a level 0 to 9; 0 for any other level or a missing one.
    double stake(long level) const;

    // Field 1 of the record becomes `value`; a missing record is added.
    void set_number(std::string_view key, double value);
    // Takes `amount` from the record when it holds at least that much; false (nothing changed) otherwise.
    bool take(std::string_view key, double amount);
    void add(std::string_view key, double amount);

    // Replaces the file with the changes made (nothing happens when there were none).
    void save();

private:
    std::string path_;
    std::unique_ptr<file_system> files_;
    std::unique_ptr<file_lock> lock_;
    record_lines lines_;
    bool changed_ = false;
};

}  // namespace quizhost::standin

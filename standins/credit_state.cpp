#include "credit_state.hpp"

#include "basic/numbers.hpp"
#include "definitions.hpp"
#include "platform/file_lock.hpp"
#include "platform/file_system.hpp"

namespace quizhost::standin {

credit_state::credit_state(std::string path)
    : path_(std::move(path)), files_(make_native_file_system()), lock_(lock_file(path_ + ".lock")) {
    if (files_->file_exists(path_)) lines_ = record_lines::load(*files_, path_);
}

credit_state::~credit_state() = default;

double credit_state::number(std::string_view key, long field) const {
    return leading_number(lines_.read_field(key, field));
}

std::string credit_state::text(std::string_view key, long field) const { return lines_.read_field(key, field); }

bool credit_state::shell_running() const { return text("shell") == "running"; }

void credit_state::count_shell_call() {
    if (text("shell_calls_left").empty()) return;
    const double left = number("shell_calls_left") - 1;
    set_number("shell_calls_left", left);
    if (left <= 0) set_text("shell", "stopped");
}

double credit_state::stake(long level) const {
    if (level < 0 || level > 9) return 0;
    return number("stakes", level + 1);
}

// An infinite or undefined value has no text that reads back (number_to_text refuses it as an overflow):
// the record keeps what it held.
void credit_state::set_number(std::string_view key, double value) { set_text(key, number_to_text(value)); }

void credit_state::set_text(std::string_view key, const std::string& text_value) {
    if (lines_.update_field(key, 1, text_value) != 1) {
        std::vector<std::string> lines = lines_.lines();
        lines.push_back(std::string(key) + "," + text_value);
        lines_ = record_lines(std::move(lines));
    }
    changed_ = true;
}

bool credit_state::take(std::string_view key, double amount) {
    const double held = number(key);
    if (amount < 0 || held < amount) return false;
    set_number(key, held - amount);
    return true;
}

void credit_state::add(std::string_view key, double amount) { set_number(key, number(key) + amount); }

void credit_state::save() {
    if (!changed_) return;
    replace_file(*files_, path_, lines_.bytes());
    changed_ = false;
}

}  // namespace quizhost::standin

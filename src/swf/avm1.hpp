// ActionScript 1 and 2 byte code (the AVM1 machine): writing it, for the host's own movies, and reading
// it, to find what a movie asks of the host (the commands it can raise and the variables it reads).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "swf/swf_file.hpp"

namespace quizhost::swf {

namespace op {
inline constexpr std::uint8_t end = 0x00, next_frame = 0x04, prev_frame = 0x05, play = 0x06, stop = 0x07, add = 0x0A,
                              subtract = 0x0B, multiply = 0x0C, divide = 0x0D, equals = 0x0E, less = 0x0F,
                              logical_and = 0x10, logical_or = 0x11, logical_not = 0x12, string_equals = 0x13,
                              string_length = 0x14, pop = 0x17, to_integer = 0x18, get_variable = 0x1C,
                              set_variable = 0x1D, set_target2 = 0x20, string_add = 0x21, get_property = 0x22,
                              set_property = 0x23, trace = 0x26, random = 0x30, call_function = 0x3D, return_ = 0x3E,
                              modulo = 0x3F, new_object = 0x40, define_local = 0x3C, define_local2 = 0x41,
                              init_array = 0x42, init_object = 0x43, type_of = 0x44, add2 = 0x47, less2 = 0x48,
                              equals2 = 0x49, to_number = 0x4A, to_string = 0x4B, push_duplicate = 0x4C,
                              stack_swap = 0x4D, get_member = 0x4E, set_member = 0x4F, increment = 0x50,
                              decrement = 0x51, call_method = 0x52, strict_equals = 0x66, greater = 0x67,
                              goto_frame = 0x81, get_url = 0x83, store_register = 0x87, constant_pool = 0x88,
                              goto_label = 0x8C, define_function2 = 0x8E, with = 0x94, push = 0x96, jump = 0x99,
                              get_url2 = 0x9A, define_function = 0x9B, if_ = 0x9D, goto_frame2 = 0x9F,
                              set_target = 0x8B;
}

struct null_value {};
struct undefined_value {};
struct register_ref {
    std::uint8_t number;
};
struct constant_ref {
    std::uint16_t index;
};
using push_value =
    std::variant<std::string, double, bool, null_value, undefined_value, register_ref, constant_ref, std::int32_t>;

// Builds one action list. Jumps name labels; a function's body is the code between begin_function and
// end_function.
class actions {
public:
    actions& simple(std::uint8_t code);
    actions& push(const std::vector<push_value>& values);
    actions& push(std::string text) { return push(std::vector<push_value>{std::move(text)}); }
    actions& constant_pool(const std::vector<std::string>& names);
    actions& get_url(const std::string& url, const std::string& target);
    actions& get_url2(std::uint8_t flags);
    actions& goto_frame(std::uint16_t frame);
    actions& goto_label(const std::string& label);
    actions& set_target(const std::string& target);
    actions& store_register(std::uint8_t number);
    actions& jump(const std::string& label) { return branch(op::jump, label); }
    actions& if_true(const std::string& label) { return branch(op::if_, label); }
    actions& label(const std::string& name);
    actions& begin_function(const std::string& name, const std::vector<std::string>& parameters);
    actions& end_function();
    // The whole list with its closing End action; throws swf_error for a label used and never placed,
    // placed twice, a branch out of reach or an unclosed function.
    bytes finish() const;

private:
    actions& branch(std::uint8_t code, const std::string& label);
    void record(std::uint8_t code, const bytes& payload);
    bytes code_;
    std::map<std::string, std::size_t> labels_;
    std::vector<std::pair<std::size_t, std::string>> branches_;  // offset of the branch's operand
    std::vector<std::size_t> functions_;                         // offset of each open function's size field
};

// What a movie's actions hold that matters to the host: every string they push, name in a constant pool
// or hand to GetURL, in the order met.
struct action_strings {
    std::vector<std::string> texts;
    std::size_t action_count = 0;
};
// Scans one action list (to its End, or its bytes' end). Throws swf_error when a record runs past the end.
void scan_actions(std::string_view code, action_strings& out);

}  // namespace quizhost::swf

// The string cipher. An enciphered text carries the digits of (code + key offset) for each plain
// character, three digits each, two digits per enciphered character (code 100 + the pair's value).
#include "content/encryption.hpp"

#include <limits>
#include <vector>

#include "basic/numbers.hpp"
#include "definitions.hpp"

namespace quizhost {
namespace {

unsigned code_of(char c) { return static_cast<unsigned char>(c); }

[[noreturn]] void invalid_argument(std::string detail) {
    throw run_time_error(invalid_procedure_call, error_description(invalid_procedure_call), std::move(detail));
}

// The key's characters fold into the offset by four rules taken in this order, each testing the offset
// the rule before it left. The subtracting rule runs twice; when a character equals the one before it,
// both the subtracting and the adding rules may fire.
std::int64_t fold_key(std::string_view key) {
    std::int64_t s = code_of(key[0]);
    for (std::size_t i = 1; i < key.size(); ++i) {
        const std::int64_t c = code_of(key[i]);
        const std::int64_t p = code_of(key[i - 1]);
        for (int twice = 0; twice < 2; ++twice) {
            if (s - c >= 0 && c <= p) s -= c;
        }
        if (c >= s && c >= p) s += c;
        if (c < s && c >= p) s += c;
        if (s > std::numeric_limits<std::int32_t>::max()) {
            throw run_time_error(overflow, error_description(overflow), "cipher key too long");
        }
    }
    return s;
}

// The digits one enciphered character carries. Every character but the last carries exactly two
// (a lone digit gets its zero back); the last carries its value as written, which loses the leading
// zero of a final pair "0x" (the grouping repair below puts it back). Returns false for a code below
// 100 anywhere but in the last place: such a text is rejected.
bool append_digits(std::string& digits, char c, bool last) {
    const int value = static_cast<int>(code_of(c)) - 100;
    std::string piece = std::to_string(value);
    if (!last) {
        if (piece.size() == 1) piece.insert(0, 1, '0');
        if (piece[0] == '-') return false;
    }
    digits += piece;
    return true;
}

// The digit string cut into groups of three from the left, the last group possibly shorter. A last
// group of two digits xy is really x0y (the enciphered form dropped the zero of its final pair); a
// last group of one digit x is read as 0x, the same value.
std::vector<std::string> group_digits(const std::string& digits) {
    // Fewer than three digits cannot hold a single character's number.
    if (digits.size() < 3) invalid_argument("enciphered text too short: " + std::to_string(digits.size()) + " digits");
    std::vector<std::string> groups;
    for (std::size_t at = 0; at < digits.size(); at += 3) groups.push_back(digits.substr(at, 3));
    std::string& last = groups.back();
    if (last.size() == 2) {
        last.insert(1, 1, '0');
    } else if (last.size() == 1) {
        // The zero goes in front of the last digit here too; it leaves the value unchanged.
        last.insert(0, 1, '0');
    }
    return groups;
}

// A group must be a whole decimal number. Groups hold digits and, when the last character's code was
// below 100, a "-" which makes a type mismatch unless it opens its group.
long group_value(const std::string& group) { return static_cast<long>(strict_number(group)); }

}  // namespace

std::int32_t cipher_key_offset(std::string& key) {
    if (key.empty()) key = default_cipher_key;
    return static_cast<std::int32_t>(fold_key(key));
}

std::string decrypt_string(std::string text, std::string& key) {
    const std::int64_t s = cipher_key_offset(key);
    std::string digits;
    for (std::size_t j = 0; j < text.size(); ++j) {
        if (!append_digits(digits, text[j], j + 1 == text.size())) return "";
    }
    std::string plain;
    for (const std::string& group : group_digits(digits)) {
        const std::int64_t code = group_value(group) - s;
        if (code < 0 || code > 255) invalid_argument("deciphered code " + std::to_string(code) + " out of range");
        plain += static_cast<char>(static_cast<unsigned char>(code));
    }
    return plain;
}

std::string encrypt_string(std::string_view plain, std::string key) {
    if (plain.empty()) invalid_argument("the empty text cannot be enciphered");
    const std::int64_t s = cipher_key_offset(key);
    std::string digits;
    digits.reserve(plain.size() * 3);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const std::int64_t n = code_of(plain[i]) + s;
        if (n < 100 || n > 999) {
            invalid_argument("character " + std::to_string(i + 1) + " (code " + std::to_string(code_of(plain[i])) +
                             ") cannot be enciphered with this key");
        }
        digits += std::to_string(n);
    }
    std::string text;
    text.reserve((digits.size() + 1) / 2);
    for (std::size_t at = 0; at < digits.size(); at += 2) {
        int value = digits[at] - '0';
        if (at + 1 < digits.size()) value = value * 10 + (digits[at + 1] - '0');
        text += static_cast<char>(100 + value);
    }
    return text;
}

// Removes the spaces in one pass. It deliberately lets no window messages run while it works: a movie
// command handled in the middle of a decryption would nest inside the command being answered, and the
// host handles each command to its end before it takes the next.
std::string remove_spaces(std::string& text) {
    std::erase(text, ' ');
    return text;
}

}  // namespace quizhost

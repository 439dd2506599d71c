// The string cipher of the question files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quizhost {

inline constexpr const char* default_cipher_key = "BlueHarrier";
inline constexpr const char* question_key = "copperlanternwave";

// The key offset: the one number the cipher takes from its key. An empty key is replaced by the default
// key, in the caller's variable too. Error 6 when a (very long) key drives it out of the 32-bit range.
std::int32_t cipher_key_offset(std::string& key);

// Deciphers `text` with `key`. An empty key is replaced by the default key, in the caller's variable too.
// Returns "" when a character other than the last has a code below 100; raises error 5 for a text too
// short to decode or a character code out of range, error 13 for a malformed digit group.
std::string decrypt_string(std::string text, std::string& key);

// Enciphers `plain` with `key` (empty: the default key) into the form the question files hold, which
// decrypt_string turns back into `plain`. Error 5, naming the character's position, when a character's
// code plus the key offset falls outside 100 to 999 (that key cannot carry it), or when `plain` is empty
// (no enciphered text deciphers to the empty text).
std::string encrypt_string(std::string_view plain, std::string key);

// Removes every space from `text` (the caller's variable too) and returns what is left. It never yields
// to the window message loop: commands never nest.
std::string remove_spaces(std::string& text);

}  // namespace quizhost

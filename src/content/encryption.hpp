// The string cipher of the question files.
#pragma once

#include <string>

namespace quizhost {

inline constexpr const char* default_cipher_key = "BlueHarrier";
inline constexpr const char* question_key = "copperlanternwave";

// Deciphers `text` with `key`. An empty key is replaced by the default key, in the caller's variable too.
// Returns "" when a character other than the last has a code below 100; raises error 5 for a text too
// short to decode or a character code out of range, error 13 for a malformed digit group.
std::string decrypt_string(std::string text, std::string& key);

// Removes every space from `text` (the caller's variable too) and returns what is left. It never yields
// to the window message loop: commands never nest.
std::string remove_spaces(std::string& text);

}  // namespace quizhost

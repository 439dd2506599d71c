// decrypt_string on any text with any key (the key is the first line of the input, the text the rest),
// and the round trip: whatever encrypt_string accepts must decipher back to itself.
#include <cstdint>
#include <string>

#include "content/encryption.hpp"
#include "definitions.hpp"
#include "support/finding.hpp"
#include "support/fuzz_input.hpp"

using namespace quizhost;
using fuzzing::expect;

namespace {

bool is_cipher_error(int number) {
    return number == invalid_procedure_call || number == type_mismatch || number == overflow;
}

// A rejected text (empty result, no error) needs a character below code 100 somewhere before the last.
bool has_low_code_before_last(const std::string& text) {
    for (std::size_t j = 0; j + 1 < text.size(); ++j) {
        if (static_cast<unsigned char>(text[j]) < 100) return true;
    }
    return false;
}

void decipher(const std::string& text, const std::string& given_key) {
    std::string key = given_key;
    try {
        const std::string plain = decrypt_string(text, key);
        if (plain.empty()) expect(has_low_code_before_last(text), "empty result for a text without a low code", text);
    } catch (const run_time_error& e) {
        expect(is_cipher_error(e.number()), "decrypt_string raised an unexpected error number", e.what());
    }
    expect(key == (given_key.empty() ? std::string(default_cipher_key) : given_key), "the key came back changed", key);
}

void round_trip(const std::string& plain, const std::string& given_key) {
    std::string enciphered;
    try {
        enciphered = encrypt_string(plain, given_key);
    } catch (const run_time_error& e) {
        expect(is_cipher_error(e.number()), "encrypt_string raised an unexpected error number", e.what());
        return;
    }
    std::string key = given_key;
    std::string back;
    try {
        back = decrypt_string(enciphered, key);
    } catch (const run_time_error& e) {
        fuzzing::report_finding("an enciphered text failed to decipher", e.what());
    }
    expect(back == plain, "round trip changed the text", plain);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::input_fields in(data, size);
    const std::string key = in.line();
    const std::string text = in.rest();
    decipher(text, key);
    round_trip(text, key);
    return 0;
}

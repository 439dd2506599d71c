#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "content/encryption.hpp"
#include "definitions.hpp"
#include "support/run_time_errors.hpp"

namespace quizhost {
namespace {

using testing::error_of;

std::string bytes(std::initializer_list<int> codes) {
    std::string text;
    for (int code : codes) text += static_cast<char>(code);
    return text;
}

std::string decrypt(const std::string& text, std::string key) { return decrypt_string(text, key); }

// Offsets worked out by hand from the folding rules.
TEST(CipherKeyOffset, FollowsTheFourRulesInOrder) {
    std::string key = "A";
    EXPECT_EQ(cipher_key_offset(key), 65);  // one character: its code
    key = "ba";  // smaller than the one before: subtracted once (the second time would go negative)
    EXPECT_EQ(cipher_key_offset(key), 1);
    key = "aa";  // equal: subtracted to 0, then added back by the third rule only
    EXPECT_EQ(cipher_key_offset(key), 97);
    key = "ab";  // larger: added by the third rule and again by the fourth
    EXPECT_EQ(cipher_key_offset(key), 293);
    key = "BlueHarrier";
    EXPECT_EQ(cipher_key_offset(key), 265);
    key = "copperlanternwave";
    EXPECT_EQ(cipher_key_offset(key), 123);
    key = bytes({200, 255});  // codes above 127 count as bytes 0 to 255, never negative
    EXPECT_EQ(cipher_key_offset(key), 200 + 255 + 255);
}

TEST(CipherKeyOffset, EmptyKeyBecomesTheDefaultKey) {
    std::string key;
    EXPECT_EQ(cipher_key_offset(key), 265);
    EXPECT_EQ(key, "BlueHarrier");
}

TEST(CipherKeyOffset, KeyThatOverflowsTheOffsetIsAnOverflowError) {
    // Rising codes add, each fall takes a little: 70,000 rises from 1 to 255 pass 2^31.
    std::string key;
    for (int round = 0; round < 70'000; ++round) {
        for (int code = 1; code < 256; ++code) key += static_cast<char>(code);
    }
    EXPECT_EQ(error_of([&] { cipher_key_offset(key); }), overflow);
}

TEST(DecryptString, DecodesHandMadeTexts) {
    // Key "A" (offset 65): "A" is 130, pairs 13 and 0, so the characters 113 and 100.
    EXPECT_EQ(decrypt(bytes({113, 100}), "A"), "A");
    // "AB" is 130 131: pairs 13 01 31.
    EXPECT_EQ(decrypt(bytes({113, 101, 131}), "A"), "AB");
    // "A(" is 130 105: the final pair 05 is stored as the single digit 5, and the two-digit last
    // group 15 must become 105 again.
    EXPECT_EQ(decrypt(bytes({113, 101, 105}), "A"), "A(");
    // One character of code 200 or more carries three digits on its own.
    EXPECT_EQ(decrypt(bytes({230}), "A"), "A");
    // A last group of one digit keeps its value: 130 111 5 with offset 1.
    EXPECT_EQ(decrypt(bytes({230, 211, 105}), "ba"), bytes({129, 110, 4}));
}

TEST(DecryptString, EmptyKeyUsesTheDefaultAndWritesItBack) {
    std::string key;
    const std::string text = encrypt_string("Paris|3", "BlueHarrier");
    EXPECT_EQ(decrypt_string(text, key), "Paris|3");
    EXPECT_EQ(key, "BlueHarrier");
    key.clear();
    EXPECT_EQ(decrypt_string(bytes({50, 150}), key), "");  // the key is replaced even for a rejected text
    EXPECT_EQ(key, "BlueHarrier");
}

TEST(DecryptString, CodeBelow100BeforeTheLastCharacterRejectsTheText) {
    EXPECT_EQ(decrypt(bytes({99, 113, 100}), "A"), "");
    EXPECT_EQ(decrypt(bytes({113, 0, 100}), "A"), "");
    EXPECT_EQ(decrypt(bytes({113, 113, 113, 5, 100}), "A"), "");
}

TEST(DecryptString, CodeBelow100InTheLastPlacePassesTheDigitStepButFailsLater) {
    // 13 and -1: the group "13-" is not a number.
    EXPECT_EQ(error_of([] { decrypt(bytes({113, 99}), "A"); }), type_mismatch);
    // 311 313 -5: the last group becomes -05, a number, but -5 minus the offset is no character.
    EXPECT_EQ(error_of([] { decrypt(bytes({131, 113, 113, 95}), "A"); }), invalid_procedure_call);
    // Alone, -5 is two characters of digit string: too short.
    EXPECT_EQ(error_of([] { decrypt(bytes({95}), "A"); }), invalid_procedure_call);
    // -100 alone: groups -10 and 00.
    EXPECT_EQ(error_of([] { decrypt(bytes({0}), "A"); }), invalid_procedure_call);
}

TEST(DecryptString, TooFewDigitsIsAnInvalidArgument) {
    EXPECT_EQ(error_of([] { decrypt("", "A"); }), invalid_procedure_call);  // not the empty text
    EXPECT_EQ(error_of([] { decrypt(bytes({105}), "A"); }), invalid_procedure_call);
    EXPECT_EQ(error_of([] { decrypt(bytes({112}), "A"); }), invalid_procedure_call);
}

TEST(DecryptString, DecodedCodeOutsideAByteIsAnInvalidArgument) {
    EXPECT_EQ(error_of([] { decrypt(bytes({100, 100}), "A"); }), invalid_procedure_call);  // 0 - 65
    EXPECT_EQ(error_of([] { decrypt(bytes({199, 199}), "A"); }), invalid_procedure_call);  // 999 - 65
    EXPECT_EQ(decrypt(bytes({132, 100}), "A"), bytes({255}));                              // 320 - 65: the top
    EXPECT_EQ(error_of([] { decrypt(bytes({132, 101}), "A"); }), invalid_procedure_call);  // 321 - 65
}

TEST(EncryptString, WritesThePairsOfTheDigitString) {
    EXPECT_EQ(encrypt_string("A", "A"), bytes({113, 100}));
    EXPECT_EQ(encrypt_string("AB", "A"), bytes({113, 101, 131}));
    EXPECT_EQ(encrypt_string("A(", "A"), bytes({113, 101, 105}));
    // The form's length is the whole part of (3k + 1) / 2, and it uses codes 100 to 199 only.
    for (std::size_t k = 1; k < 12; ++k) {
        const std::string text = encrypt_string(std::string(k, 'x'), "");
        EXPECT_EQ(text.size(), (3 * k + 1) / 2);
        for (char c : text) {
            EXPECT_GE(static_cast<unsigned char>(c), 100);
            EXPECT_LE(static_cast<unsigned char>(c), 199);
        }
    }
}

TEST(EncryptString, RefusesWhatNoEncipheredTextCanCarry) {
    EXPECT_EQ(error_of([] { encrypt_string("", "A"); }), invalid_procedure_call);
    // Offset 1: code 98 would be 99, below three digits.
    try {
        encrypt_string("xy" + bytes({98}), "ba");
        FAIL() << "no error";
    } catch (const run_time_error& e) {
        EXPECT_EQ(e.number(), invalid_procedure_call);
        EXPECT_NE(std::string(e.what()).find("character 3"), std::string::npos) << e.what();
    }
    // A key whose offset is 1000 or more can carry nothing.
    std::string key = "abcdefghij";
    ASSERT_GT(cipher_key_offset(key), 999);
    EXPECT_EQ(error_of([&] { encrypt_string("a", key); }), invalid_procedure_call);
}

// Every text the enciphered form can carry comes back through decrypt_string.
TEST(CipherRoundTrip, EveryCarriableTextComesBack) {
    const std::vector<std::string> keys = {
        "",
        "A",
        "z",
        bytes({1}),
        bytes({255}),
        "ba",
        "aa",
        "ab",
        "BlueHarrier",
        "copperlanternwave",
        "abcdef",
        "abcdefgh",
        "Key with spaces",
        bytes({200, 10, 130, 7}),
    };
    std::mt19937 random(20261207);
    int checked = 0;
    for (const std::string& key : keys) {
        std::string key_copy = key;
        const int s = cipher_key_offset(key_copy);
        const int lowest = std::max(0, 100 - s);
        const int highest = std::min(255, 999 - s);
        if (lowest > highest) continue;
        std::uniform_int_distribution<int> code(lowest, highest);
        std::vector<std::size_t> lengths = {1, 1, 1, 2, 2, 2, 3, 4, 5};
        for (int i = 0; i < 40; ++i) lengths.push_back(1 + random() % 120);
        for (std::size_t length : lengths) {
            std::string plain;
            for (std::size_t i = 0; i < length; ++i) plain += static_cast<char>(code(random));
            std::string decrypt_key = key;
            const std::string text = encrypt_string(plain, key);
            ASSERT_EQ(decrypt_string(text, decrypt_key), plain) << "key \"" << key << "\" length " << length;
            ++checked;
        }
        // Every carriable code, alone and as the last of an even-length text (whose final pair may
        // begin with a zero).
        for (int c = lowest; c <= highest; ++c) {
            const std::string one = bytes({c});
            ASSERT_EQ(decrypt(encrypt_string(one, key), key), one) << "key \"" << key << "\" code " << c;
            ASSERT_EQ(decrypt(encrypt_string(one + one, key), key), one + one) << "key \"" << key << "\" code " << c;
        }
    }
    EXPECT_GT(checked, 400);
}

TEST(RemoveSpaces, RemovesEverySpaceInTheCallersTextToo) {
    std::string text = " 1 2  3 ";
    EXPECT_EQ(remove_spaces(text), "123");
    EXPECT_EQ(text, "123");
    std::string none = "\t-5\r";
    EXPECT_EQ(remove_spaces(none), "\t-5\r");
    std::string empty;
    EXPECT_EQ(remove_spaces(empty), "");
}

}  // namespace
}  // namespace quizhost

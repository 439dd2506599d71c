// Reading movie scripts: every directive, the escapes, and what each kind of malformed line gets.
#include <gtest/gtest.h>

#include <string>

#include "player/movie_script.hpp"

namespace quizhost {
namespace {

using kind = script_directive::kind;

TEST(movie_script, ReadsEveryDirective) {
    const movie_script script = parse_movie_script(
        "# the scene\n"
        "var\tcontent_version_no\t12\n"
        "draw\t0.25\n"
        "draw\t0\n"
        "clock\t2024-02-29 23:59:58\n"
        "clock\t+61\n"
        "msgbox\tyes\n"
        "screen\t1024x768\n"
        "display\t-2\n"
        "display\tenum-fail\n"
        "\n"
        "   \t \n"
        "fs\tINTRO_END\n"
        "fs\tMSGBOX\tHi there\n"
        "fs\tTO_LOG\t\n");
    ASSERT_EQ(script.size(), 12u);

    EXPECT_EQ(script[0].what, kind::var);
    EXPECT_EQ(script[0].line, 2);
    EXPECT_EQ(script[0].name, "content_version_no");
    EXPECT_EQ(script[0].value, "12");
    EXPECT_EQ(script[1].what, kind::draw);
    EXPECT_EQ(script[1].draw, 0.25);
    EXPECT_EQ(script[2].draw, 0.0);
    EXPECT_EQ(script[3].what, kind::clock_at);
    EXPECT_EQ(script[3].at, (date_time{2024, 2, 29, 23, 59, 58}));
    EXPECT_EQ(script[4].what, kind::clock_advance);
    EXPECT_EQ(script[4].seconds, 61);
    EXPECT_EQ(script[5].what, kind::msgbox);
    EXPECT_EQ(script[5].answer, box_answer::yes);
    EXPECT_EQ(script[6].what, kind::screen);
    EXPECT_EQ(script[6].width, 1024);
    EXPECT_EQ(script[6].height, 768);
    EXPECT_EQ(script[7].what, kind::display_result);
    EXPECT_EQ(script[7].result, -2);
    EXPECT_EQ(script[8].what, kind::display_enum_fail);
    EXPECT_EQ(script[9].what, kind::fs);
    EXPECT_EQ(script[9].line, 13);
    EXPECT_EQ(script[9].name, "INTRO_END");
    EXPECT_EQ(script[9].value, "");
    EXPECT_EQ(script[10].value, "Hi there");
    EXPECT_EQ(script[11].name, "TO_LOG");
    EXPECT_EQ(script[11].value, "");
}

TEST(movie_script, AcceptsWindowsLineEndsAndAMissingLastLineEnd) {
    const movie_script script = parse_movie_script("msgbox\tno\r\nclock\t2026-12-07\t14:05:09\r\nfs\tSHAKE");
    ASSERT_EQ(script.size(), 3u);
    EXPECT_EQ(script[0].answer, box_answer::no);
    EXPECT_EQ(script[1].at, (date_time{2026, 12, 7, 14, 5, 9}));  // date and time as two fields too
    EXPECT_EQ(script[2].name, "SHAKE");
    EXPECT_TRUE(parse_movie_script("").empty());
}

TEST(movie_script, ReplacesEscapesInsideFields) {
    EXPECT_EQ(unescape_field(R"(a\\b\tc\rd\ne)"), "a\\b\tc\rd\ne");
    EXPECT_EQ(unescape_field(R"(\x41\x7a\x00\xFF)"), std::string("Az\0\xFF", 4));
    EXPECT_EQ(unescape_field(R"(\\x41)"), "\\x41");  // an escaped backslash does not start an escape
    const movie_script script = parse_movie_script("fs\tTO_LOG\tone\\ttwo\\r\\nthree\n");
    EXPECT_EQ(script.at(0).value, "one\ttwo\r\nthree");
}

TEST(movie_script, BadEscapesAreRefusedWithTheirLine) {
    for (const std::string field : {R"(\q)", R"(end\)", R"(\x4)", R"(\xG0)", R"(\X41)"}) {
        try {
            parse_movie_script("var\ta\t1\nfs\tTO_LOG\t" + field + "\n");
            ADD_FAILURE() << field << " was accepted";
        } catch (const script_error& e) {
            EXPECT_EQ(e.line(), 2) << field;
            EXPECT_EQ(std::string(e.what()).rfind("line 2: ", 0), 0u) << e.what();
        }
    }
}

TEST(movie_script, MalformedLinesAreRefusedWithTheirLineNumber) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"play", "unknown directive \"play\""},
        {"FS\tSHAKE", "unknown directive \"FS\""},
        {" fs\tSHAKE", "unknown directive \" fs\""},
        {"fs", "expected \"fs COMMAND [ARGS]\""},
        {"fs\tA\tb\tc", "expected \"fs COMMAND [ARGS]\""},
        {"var\tname", "expected \"var NAME VALUE\""},
        {"draw\t1", "draw needs a number"},
        {"draw\t-0.1", "draw needs a number"},
        {"draw\t0.5x", "draw needs a number"},
        {"draw\tnan", "draw needs a number"},
        {"draw", "expected \"draw U\""},
        {"clock\t2026-02-29 10:00:00", "clock needs a moment"},
        {"clock\t2026-13-01 10:00:00", "clock needs a moment"},
        {"clock\t2026-12-07 24:00:00", "clock needs a moment"},
        {"clock\t2026-12-07T10:00:00", "clock needs a moment"},
        {"clock\t2026-12-7 10:00:00", "clock needs a moment"},
        {"clock\t+", "clock +N needs a whole number"},
        {"clock\t+-5", "clock +N needs a whole number"},
        {"clock\t+1.5", "clock +N needs a whole number"},
        {"msgbox\tcancel", "msgbox answers ok, yes or no"},
        {"msgbox\tOK", "msgbox answers ok, yes or no"},
        {"screen\t800*600", "screen needs a size"},
        {"screen\t0x600", "screen needs a size"},
        {"screen\t800x", "screen needs a size"},
        {"display\tfail", "display needs a whole number or enum-fail"},
        {"display\t1\t2", "expected \"display RESULT|enum-fail\""},
    };
    for (const auto& [line, message] : cases) {
        try {
            parse_movie_script("# scene\n\nfs\tINTRO_END\n" + line + "\nfs\tCLOSE_ALL\n");
            ADD_FAILURE() << '"' << line << "\" was accepted";
        } catch (const script_error& e) {
            EXPECT_EQ(e.line(), 4) << line;
            EXPECT_NE(std::string(e.what()).find("line 4: " + message), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace quizhost

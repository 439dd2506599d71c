// Inputs the fuzzers found to break a promise of the host, each kept here as the test that guards its fix.
#include <gtest/gtest.h>

#include <string>

#include "definitions.hpp"
#include "forms/form_main.hpp"
#include "meters/meter_file.hpp"
#include "records/text_records.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using testing::test_host;

// The movie's content version becomes part of the wrapper version, which the meter file created at
// start-up records. A line end in it split the "Version" line, and whatever followed became a meter line
// of its own: a movie could forge the audited games-played count.
TEST(found_by_fuzzing, ContentVersionCannotAddLinesToANewMeterFile) {
    test_host t;
    t.write("system/logs/log.txt", "<ERROR LOG>\r\n");
    t.intro_movie.set_movie(t.host.program_folder + "/intro.swf");
    t.game_movie.define_variable("content_version_no", "3\r\nM1,999\nM10,5\r");
    form_main_load(t.host);

    const std::string meter_file = t.read("system/logs/meter.txt");
    const auto lines = split_lines(meter_file);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[1], "Version,7.3  M1,999 M10,5 ");
    EXPECT_EQ(lines[2].rfind("CreationDate,", 0), 0u);
    for (const auto line : lines) EXPECT_EQ(line.find('\r'), std::string_view::npos);
    EXPECT_EQ(get_games_played(t.host), 0);
    EXPECT_EQ(read_record_field(*t.host.io.files, t.host.meter_file(), "M10", 1), "0");
    // What the movie asks back and the launch line keep the version as the movie gave it, on one line.
    EXPECT_NE(t.read("system/logs/log.txt").find("LAUNCHING GAME (V7.3  M1,999 M10,5 )\r\n"), std::string::npos);
}

}  // namespace
}  // namespace quizhost

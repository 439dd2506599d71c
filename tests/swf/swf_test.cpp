// The SWF reader and writer, the AVM1 actions, the assembler's text form and the shim: what is written is
// read back the same in every packing, what a movie can raise is found wherever its actions are, and no
// damaged file makes the reader do anything but throw swf_error.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "swf/avm1.hpp"
#include "swf/swf_file.hpp"
#include "swf/swf_inspect.hpp"
#include "swf/swf_shim.hpp"
#include "swf/swf_source.hpp"

namespace quizhost::swf {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string text_of(const bytes& b) { return {b.begin(), b.end()}; }

std::string assembled(const std::string& source) { return text_of(write_movie(assemble(source))); }

std::vector<std::string> command_names(const movie_facts& facts) {
    std::vector<std::string> names;
    for (const auto& c : facts.commands) names.push_back(c.name + " (" + c.where + ")");
    return names;
}

TEST(SwfFile, WhatIsWrittenReadsBackTheSameInEveryPacking) {
    for (const compression packing : {compression::none, compression::zlib, compression::lzma}) {
        if (!can_read(packing)) continue;  // a build without zlib or LZMA (the Windows cross build)
        movie m;
        m.stored = packing;
        m.version = 8;
        m.frame = {0, 640 * 20, 0, 480 * 20};
        m.frame_rate = 12.5;
        m.frame_count = 3;
        m.tags.push_back({tag_code::set_background_color, {1, 2, 3}});
        m.tags.push_back({tag_code::do_action, bytes(300, op::play)});  // a long tag header
        const std::string file = text_of(write_movie(m));
        EXPECT_EQ(file.substr(0, 3), signature_of(packing));
        const movie back = read_movie(file);
        EXPECT_EQ(back.stored, packing);
        EXPECT_EQ(back.version, 8);
        EXPECT_EQ(back.frame.x_max, 640 * 20);
        EXPECT_EQ(back.frame.y_max, 480 * 20);
        EXPECT_DOUBLE_EQ(back.frame_rate, 12.5);
        EXPECT_EQ(back.frame_count, 3);
        ASSERT_EQ(back.tags.size(), 2U);
        EXPECT_EQ(back.tags[1].body, bytes(300, op::play));
    }
}

TEST(SwfFile, EveryDamageIsASwfErrorNeverAReadPastTheEnd) {
    const std::string source =
        "movie version=6\nactions\n  pool \"FSCommand:A\" \"b\"\n  push c0 c1\n  geturl2 0\nend\nframe\n";
    for (const char* packing : {"fws", "cws", "zws"}) {
        const compression stored = packing[0] == 'c'   ? compression::zlib
                                   : packing[0] == 'z' ? compression::lzma
                                                       : compression::none;
        if (!can_read(stored)) continue;  // a build without zlib or LZMA (the Windows cross build)
        const std::string whole = assembled(source + "movie compress=" + packing + "\n");
        ASSERT_NO_THROW(inspect_movie(whole)) << packing;
        // Every truncation, and every byte flipped in turn: an error or a movie, nothing else. A packed
        // movie cut only in its check bytes (zlib's checksum, LZMA's end marker) still unpacks whole.
        const auto whole_commands = command_names(inspect_movie(whole));
        for (std::size_t keep = 0; keep < whole.size(); ++keep) {
            try {
                EXPECT_EQ(command_names(inspect_movie(whole.substr(0, keep))), whole_commands)
                    << packing << " " << keep;
                EXPECT_NE(std::string(packing), "fws") << "cut to " << keep;
                EXPECT_GT(keep, whole.size() - 8) << packing << " cut to " << keep;
            } catch (const swf_error&) {
            }
        }
        for (std::size_t at = 0; at < whole.size(); ++at) {
            std::string damaged = whole;
            damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
            try {
                inspect_movie(damaged);
            } catch (const swf_error&) {
            }
        }
    }
    EXPECT_THAT([] { read_movie("GIF89a.."); }, ::testing::ThrowsMessage<swf_error>(HasSubstr("FWS, CWS or ZWS")));
    // A header that claims four gigabytes unpacks no more than the file holds (and allocates no more).
    std::string huge =
        assembled(std::string("movie compress=") + (can_read(compression::zlib) ? "cws" : "fws") + "\nframe\n");
    huge[4] = huge[5] = huge[6] = huge[7] = '\xFF';
    EXPECT_EQ(read_movie(huge).tags.size(), 1U);
}

TEST(SwfInspect, FindsTheCommandsWhereverTheActionsAre) {
    const movie_facts facts = inspect_movie(assembled(R"(movie version=6 width=320 height=240 rate=24 background=102030
sprite 3
actions
  pool "FSCommand:IN_A_CLIP" "vb_credit"
  push c0 ""
  geturl2 0
end
frame
endsprite
initactions 3
  fscommand "AT_INIT" ""
end
rect 4 10 10 00FF00
button 5 4
on press
  fscommand "FROM_A_BUTTON" ""
end
on release
  fscommand "ON_RELEASE" ""
end
place 3 1 name=clip
on enterFrame
  fscommand "fscommand:LOWER_CASE_PREFIX" ""
end
actions
  function "f" a b
    push "FSCommand:IN_A_FUNCTION" ""
    geturl2 0
  endfunction
  fscommand "IN_A_CLIP" ""
end
frame
)"));
    EXPECT_EQ(facts.version, 6);
    EXPECT_EQ(width_of(facts.frame), 320);
    EXPECT_EQ(height_of(facts.frame), 240);
    EXPECT_DOUBLE_EQ(facts.frame_rate, 24);
    EXPECT_TRUE(facts.has_background);
    EXPECT_EQ(facts.background, 0x102030U);
    EXPECT_FALSE(facts.avm2);
    // The assembler's fscommand puts its own prefix before the name; the second one is the movie's text.
    EXPECT_THAT(command_names(facts),
                ElementsAre("IN_A_CLIP (frame actions)", "AT_INIT (init actions)", "FROM_A_BUTTON (button actions)",
                            "ON_RELEASE (button actions)", "fscommand:LOWER_CASE_PREFIX (clip actions)",
                            "IN_A_FUNCTION (frame actions)"));
    EXPECT_THAT(facts.texts, ::testing::Contains("vb_credit"));
}

// A button's conditions as the player reads them: the condition word of each action list, in order.
std::vector<std::uint32_t> button_conditions(const movie& m) {
    for (const tag& t : m.tags) {
        if (t.code != tag_code::define_button2) continue;
        reader in(std::string_view(reinterpret_cast<const char*>(t.body.data()), t.body.size()));
        in.u16();  // the id
        in.u8();   // not a menu
        const std::uint16_t offset = in.u16();
        in.skip(offset - 2U);
        std::vector<std::uint32_t> conditions;
        for (;;) {
            const std::uint16_t size = in.u16();
            conditions.push_back(in.u16());
            if (size == 0) break;
            in.skip(size - 4U);
        }
        return conditions;
    }
    return {};
}

TEST(SwfSource, AButtonTakesKeysByCharacterOrByName) {
    const movie m = assemble(R"(movie version=6
rect 1 10 10 00FF00
button 2 1
on keyPress "k"
  fscommand "ON_K" ""
end
on keyPress Enter
  fscommand "ON_ENTER" ""
end
on press
  fscommand "ON_PRESS" ""
end
frame
)");
    // The key's code sits above the eight state changes and the one below it (0x04 is "pressed").
    EXPECT_THAT(button_conditions(m), ElementsAre(std::uint32_t{'k'} << 9, 13U << 9, 0x04U));
    EXPECT_THAT(command_names(inspect_movie(text_of(write_movie(m)))),
                ElementsAre("ON_K (button actions)", "ON_ENTER (button actions)", "ON_PRESS (button actions)"));
}

TEST(SwfInspect, ActionScript3IsTold) {
    EXPECT_TRUE(inspect_movie(assembled("movie version=9 as3\nframe\n")).avm2);
    EXPECT_TRUE(inspect_movie(assembled("movie version=9\nabc\nframe\n")).avm2);
}

TEST(SwfSource, ABadLineIsNamedByItsNumber) {
    const auto error_of = [](const std::string& source) {
        try {
            assemble(source);
        } catch (const swf_error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(error_of("movie version=6\nactions\n  jumpp x\nend\n"), "line 3: unknown action \"jumpp\"");
    EXPECT_EQ(error_of("actions\n  jump nowhere\nend\n"), "line 3: the label nowhere is used but never placed");
    EXPECT_EQ(error_of("actions\n  push \"open\nend\n"), "line 2: a string has no closing quote");
    EXPECT_EQ(error_of("actions\n  push 1\n"), "line 3: an actions block is not closed with end");
    EXPECT_EQ(error_of("movie compress=gzip\n"), "line 1: compress is fws, cws or zws, not \"gzip\"");
    EXPECT_EQ(error_of("on press\nend\n"), "line 1: \"on\" belongs after a place or button line");
    EXPECT_EQ(error_of("sprite 2\nframe\n"), "line 3: a sprite is not closed with endsprite");
    const std::string button = "rect 1 10 10 00FF00\nbutton 2 1\n";
    EXPECT_EQ(error_of(button + "on keyPress \"kk\"\nend\n"),
              "line 3: a key is one printable character or a key's name, not \"kk\"");
    EXPECT_EQ(error_of(button + "on keyPress Return\nend\n"),
              "line 3: unknown key \"Return\" (a character is quoted: \"k\")");
    EXPECT_EQ(error_of(button + "on keyPress\nend\n"), "line 3: missing the key");
    EXPECT_EQ(error_of("sprite 2\nframe\nendsprite\nplace 2 1\non keyPress \"k\"\nend\n"),
              "line 5: keyPress is a button's event here, not a clip's");
}

TEST(Avm1, BranchesLandOnTheirLabelsBothWays) {
    actions a;
    a.label("top").simple(op::play).if_true("end").jump("top").label("end");
    const bytes code = a.finish();
    // play; if +5 (over the jump); jump -11 (back over itself, the if and play); end
    EXPECT_EQ(code, (bytes{op::play, op::if_, 2, 0, 5, 0, op::jump, 2, 0, 0xF5, 0xFF, op::end}));
}

TEST(SwfShim, HasTheGamesStageRateAndBackgroundAndAVersionThatReachesExternalInterface) {
    for (const int version : {5, 6, 7, 8, 10}) {
        const movie_facts game = inspect_movie(assembled("movie version=" + std::to_string(version) +
                                                         " width=550 height=400 rate=12 background=336699\nframe\n"));
        const std::string shim = text_of(make_shim(game, "http://127.0.0.1:7480/swf/flash_game.swf?load=2"));
        const movie_facts facts = inspect_movie(shim);
        EXPECT_EQ(facts.version, std::max(6, version));
        EXPECT_EQ(width_of(facts.frame), 550);
        EXPECT_DOUBLE_EQ(facts.frame_rate, 12);
        EXPECT_EQ(facts.background, 0x336699U);
        EXPECT_THAT(facts.texts, ::testing::Contains("http://127.0.0.1:7480/swf/flash_game.swf?load=2"));
        EXPECT_THAT(facts.texts, ::testing::Contains("_level0"));
        for (const char* callback : {"qhSetVariable", "qhGetVariable", "qhPlay", "qhStopPlay", "qhRewind", "qhState"}) {
            EXPECT_THAT(facts.texts, ::testing::Contains(callback));
        }
        // Versions 6 and 7 hide ExternalInterface unless the shim unhides it.
        EXPECT_EQ(std::count(facts.texts.begin(), facts.texts.end(), "ASSetPropFlags") > 0, version < 8) << version;
        EXPECT_TRUE(facts.commands.empty());
    }
}

}  // namespace
}  // namespace quizhost::swf

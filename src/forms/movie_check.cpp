#include "forms/movie_check.hpp"

#include <cstdio>

#include "forms/command_reference.hpp"
#include "forms/form_main.hpp"
#include "swf/swf_inspect.hpp"

namespace quizhost {
namespace {

using level = content_finding::level;

std::string rate_text(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", rate);
    return text;
}

bool answer_variable(const std::string& name) {
    for (const command_row& row : command_table()) {
        if (row.answer != nullptr && name == row.answer) return true;
    }
    return false;
}

// The intro form understands one command, and ignores the others without harm.
constexpr const char* intro_command = "INTRO_END";

}  // namespace

void check_flash_movie(const std::string& path, std::string_view bytes, movie_form form, content_findings& out) {
    swf::movie_facts facts;
    try {
        facts = swf::inspect_movie(bytes);
    } catch (const swf::swf_error& e) {
        out.add(level::error, path, 0, std::string("not a Flash movie the host can play: ") + e.what());
        return;
    }
    std::string about = "Flash version " + std::to_string(facts.version) + ", " + swf::compression_name(facts.stored) +
                        ", " + (facts.avm2 ? "ActionScript 3 (AVM2)" : "AVM1") + ", stage " +
                        std::to_string(swf::width_of(facts.frame)) + " x " +
                        std::to_string(swf::height_of(facts.frame)) + " at " + rate_text(facts.frame_rate) +
                        " frames a second, " + std::to_string(facts.frame_count) + " frames";
    out.add(level::note, path, 0, about);
    if (facts.avm2) {
        out.add(level::error, path, 0,
                "an ActionScript 3 (AVM2) movie: the host answers only ActionScript 1 and 2 (AVM1) movies, through "
                "SetVariable; publish it for ActionScript 2 or as an HTML5 movie");
        return;
    }
    if (facts.version < 5) {
        out.add(level::warning, path, 0,
                "a Flash " + std::to_string(facts.version) +
                    " movie: the host's calls need version 5 or later; publish it again for Flash 5 or later");
    }
    std::string known;
    for (const auto& command : facts.commands) {
        const bool answered =
            form == movie_form::intro ? command.name == intro_command : find_command(command.name) != nullptr;
        if (answered) {
            known += (known.empty() ? "" : ", ") + command.name;
            continue;
        }
        if (form == movie_form::intro) {
            out.add(level::warning, path, 0,
                    "raises \"" + command.name + "\" (" + command.where + "), which the intro form ignores: it only " +
                        "understands \"" + intro_command + "\"");
            continue;
        }
        const std::string near = nearest_command(command.name);
        out.add(level::warning, path, 0,
                "raises \"" + command.name + "\" (" + command.where + "), which no command answers" +
                    (near.empty() ? std::string(": see quizhost commands") : "; did you mean \"" + near + "\"?"));
    }
    if (!known.empty()) out.add(level::note, path, 0, "raises " + known);
    std::string reads;
    for (const auto& text : facts.texts) {
        if (answer_variable(text)) reads += (reads.empty() ? "" : ", ") + text;
    }
    if (!reads.empty()) out.add(level::note, path, 0, "reads the answer variables " + reads);
    if (form == movie_form::intro && !known.empty()) return;
    if (form == movie_form::intro) {
        out.add(level::warning, path, 0,
                "raises no \"INTRO_END\" that the check can see: the intro form waits for it before the game "
                "starts");
    }
}

}  // namespace quizhost

// `quizhost movie FILE.swf`: what one Flash movie is and asks of the host, as `quizhost check` reports it
// for a cabinet's movies. Reads only.
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "forms/movie_check.hpp"
#include "tools.hpp"

namespace quizhost {
namespace {

struct movie_options {
    std::string file;
    bool intro = false;
};

int run_movie(const movie_options& options) {
    std::ifstream in(options.file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "quizhost: cannot read %s\n", options.file.c_str());
        return 2;
    }
    std::stringstream bytes;
    bytes << in.rdbuf();
    content_findings findings;
    check_flash_movie(options.file, bytes.str(), options.intro ? movie_form::intro : movie_form::main, findings);
    for (const auto& finding : findings.list) std::printf("%s\n", format_finding(finding).c_str());
    std::fflush(stdout);
    return findings.status();
}

}  // namespace

void add_movie_command(CLI::App& app, int& status) {
    auto options = std::make_shared<movie_options>();
    CLI::App* movie = app.add_subcommand(
        "movie",
        "Show what a Flash movie is and asks of the host: its version, packing, ActionScript machine, stage and "
        "frame rate, the commands its actions can raise (each checked against the host's commands) and the "
        "answer variables it reads. Reads only.");
    movie->add_option("file", options->file, "The SWF file")->required()->type_name("FILE.swf");
    movie->add_flag("--intro", options->intro, "Check it as the intro movie (which raises only INTRO_END)");
    movie->footer(
        "One finding per line: FILE: error|warning|note: ...; a damaged or truncated file is an error naming it.\n"
        "Example:\n  quizhost movie /srv/cabinet/flash_game.swf\n"
        "Exit status: 0 clean, 1 warnings only, 2 errors.");
    movie->callback([options, &status] { status = run_movie(*options); });
}

}  // namespace quizhost

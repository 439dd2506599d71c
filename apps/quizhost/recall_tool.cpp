// `quizhost recall`: the games a cabinet's game recall holds, newest first. Reads only.
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include "platform/clock.hpp"
#include "recall/recall_report.hpp"
#include "tools.hpp"

namespace quizhost {
namespace {

struct recall_command_options {
    std::string root;
    std::string html;
    long last = 10;
    double game = 0;
};

}  // namespace

void add_recall_command(CLI::App& app, int& status) {
    auto options = std::make_shared<recall_command_options>();
    CLI::App* recall = app.add_subcommand(
        "recall",
        "Show what happened in the cabinet's last games, newest first, from its game recall "
        "(system/logs/recall.txt and recall_previous.txt): payment, game mode, win plan, lives, every question "
        "drawn with its file and line (deciphered from the question file as it is now), the answers, the prize "
        "and the money added. The files are only read.");
    add_root_option(*recall, options->root);
    recall->add_option("--last", options->last, "show the newest N games (default 10)")
        ->type_name("N")
        ->check(CLI::PositiveNumber);
    CLI::Option* game =
        recall->add_option("--game", options->game, "show only the game of this number (the meters' game count)")
            ->type_name("NUMBER")
            ->check(CLI::NonNegativeNumber);
    recall->add_option("--html", options->html, "also write the games as one self-contained HTML page")
        ->type_name("FILE");
    recall->footer(
        "Example:\n  quizhost recall --root /srv/cabinet --last 3\n  quizhost recall --root /srv/cabinet --game 1234 "
        "--html game1234.html\n"
        "A question marked \"the file has changed since the game\" shows the line the file holds now, not the one "
        "drawn. Gaps in the games' numbering (a power cut between the meter file and the recall) are named.\n"
        "Exit status: 0; 1 when there is no recall, the game is not in it, or the page cannot be written; 3 when "
        "damaged records were skipped (each named with its file and line on standard error).");
    recall->callback([options, game, &status] {
        const read_only_cabinet cabinet = open_read_only_cabinet(options->root);
        recall_options chosen;
        chosen.root = cabinet.root;
        chosen.html_path = options->html;
        chosen.last = options->last;
        if (game->count() > 0) chosen.game = options->game;
        chosen.made = make_system_clock()->now();
        std::error_code error;  // the cabinet is named after its folder, "--root ." included
        const auto folder = std::filesystem::weakly_canonical(std::filesystem::absolute(chosen.root), error);
        if (!error) chosen.cabinet = (folder.has_filename() ? folder : folder.parent_path()).filename().string();
        status = run_recall_report(*cabinet.files, chosen, std::cout, std::cerr);
    });
}

}  // namespace quizhost

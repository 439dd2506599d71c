// The tools of quizhost beside running a cabinet, each a subcommand with its own file.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "platform/file_system.hpp"

namespace quizhost {

// The cabinet a read-only tool (meters, recall) reads: the folder its `--root` names, or the folder holding
// quizhost when none was given, without trailing separators; and the machine's files to read it through.
struct read_only_cabinet {
    std::string root;
    std::unique_ptr<file_system> files;
};
// Adds the read-only tools' `--root DIR` to `command`, kept in `root`.
void add_root_option(CLI::App& command, std::string& root);
read_only_cabinet open_read_only_cabinet(const std::string& root);

// `quizhost content encrypt|decrypt|check ...` for the content author. Sets `status` to the tool's exit
// status when one of them ran.
void add_content_commands(CLI::App& app, int& status);

// `quizhost meters [--root DIR] [--html FILE] [--format text|prometheus|openmetrics|json] [--output FILE] [--cabinet
// NAME]`: the auditor's report, and the metrics export.
void add_meters_command(CLI::App& app, int& status);

// `quizhost check [--root DIR]`, the operator's preflight of a cabinet folder (`program_folder`: the
// default cabinet folder).
void add_check_command(CLI::App& app, int& status, const std::string& program_folder);

// `quizhost movie FILE.swf [--intro]`: what a Flash movie is and the commands it can raise.
void add_movie_command(CLI::App& app, int& status);

// `quizhost commands [--markdown]`, the game developer's reference of every movie command.
void add_commands_command(CLI::App& app, int& status);

// `quizhost recall [--root DIR] [--last N] [--game NUMBER] [--html FILE]`, the game recall for disputes and
// audits.
void add_recall_command(CLI::App& app, int& status);

// `quizhost dev FOLDER [--cabinet DIR] [--http-port N] [--trace] [--no-browser]`: a development cabinet for
// the game developer, on the browser player (`program_folder`: where the stand-in credit library lies).
void add_dev_command(CLI::App& app, int& status, const std::string& program_folder);

}  // namespace quizhost

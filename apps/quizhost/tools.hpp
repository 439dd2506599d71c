// The tools of quizhost beside running a cabinet, each a subcommand with its own file.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace quizhost {

// `quizhost content encrypt|decrypt|check ...` for the content author. Sets `status` to the tool's exit
// status when one of them ran.
void add_content_commands(CLI::App& app, int& status);

// `quizhost meters [--root DIR] [--html FILE] [--format text|openmetrics|json] [--output FILE] [--cabinet NAME]`:
// the auditor's report, and the metrics export.
void add_meters_command(CLI::App& app, int& status);

// `quizhost check [--root DIR]`, the operator's preflight of a cabinet folder (`program_folder`: the
// default cabinet folder).
void add_check_command(CLI::App& app, int& status, const std::string& program_folder);

// `quizhost commands [--markdown]`, the game developer's reference of every movie command.
void add_commands_command(CLI::App& app, int& status);

// `quizhost recall [--root DIR] [--last N] [--game NUMBER] [--html FILE]`, the game recall for disputes and
// audits.
void add_recall_command(CLI::App& app, int& status);

}  // namespace quizhost

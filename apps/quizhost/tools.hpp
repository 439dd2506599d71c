// The tools of quizhost beside running a cabinet, each a subcommand with its own file.
#pragma once

#include <CLI/CLI.hpp>

namespace quizhost {

// `quizhost content encrypt|decrypt|check ...` for the content author. Sets `status` to the tool's exit
// status when one of them ran.
void add_content_commands(CLI::App& app, int& status);

// `quizhost meters [--root DIR] [--html FILE] [--format text|openmetrics|json] [--output FILE] [--cabinet NAME]`:
// the auditor's report, and the metrics export.
void add_meters_command(CLI::App& app, int& status);

}  // namespace quizhost

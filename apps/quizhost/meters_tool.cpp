// `quizhost meters`: the auditor's report on a cabinet's meter file. Reads only.
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include "meters/meter_report.hpp"
#include "platform/file_system.hpp"
#include "tools.hpp"

namespace quizhost {
namespace {

// The folder holding this program: the cabinet folder when none is given.
std::string program_folder() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return self.parent_path().string();
    return std::filesystem::current_path().string();
}

struct meters_options {
    std::string root;
    std::string html;
};

}  // namespace

void add_meters_command(CLI::App& app, int& status) {
    auto options = std::make_shared<meters_options>();
    CLI::App* meters = app.add_subcommand(
        "meters",
        "Print every meter of the cabinet's meter file (system/logs/meter.txt) with the figures an auditor "
        "derives from them. The file is only read.");
    meters->add_option("--root", options->root, "the cabinet folder (default: the folder holding quizhost)")
        ->type_name("DIR");
    meters->add_option("--html", options->html, "also write the report as one self-contained HTML page with charts")
        ->type_name("FILE");
    meters->footer("Example:\n  quizhost meters --root /srv/cabinet --html meters.html\n"
                   "The meter file is never written. Exit status: 0, or 1 when the meter file or the page cannot be read or written.");
    meters->callback([options, &status] {
        const std::string root = options->root.empty() ? program_folder() : options->root;
        const auto fs = make_native_file_system();
        status = run_meter_report(*fs, root, options->html, std::cout, std::cerr);
    });
}

}  // namespace quizhost

// `quizhost meters`: the auditor's report on a cabinet's meter file, and its export as metrics for the
// fleet's monitoring. Reads only the cabinet's files.
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include "meters/meter_report.hpp"
#include "platform/clock.hpp"
#include "tools.hpp"

namespace quizhost {

void add_meters_command(CLI::App& app, int& status) {
    auto options = std::make_shared<meter_tool_options>();
    CLI::App* meters = app.add_subcommand(
        "meters",
        "Print every meter of the cabinet's meter file (system/logs/meter.txt) with the figures an auditor "
        "derives from them, or export the meters as metrics for Prometheus or other tools. The cabinet's "
        "files are only read.");
    add_root_option(*meters, options->root);
    meters->add_option("--html", options->html, "also write the report as one self-contained HTML page with charts")
        ->type_name("FILE");
    meters
        ->add_option("--format", options->format,
                     "text: the auditor's report (default); prometheus: the Prometheus text format that the "
                     "node and windows exporters' textfile collectors read; openmetrics: the same metrics in "
                     "OpenMetrics 1.0 (for tools that read it; the textfile collectors do not); json: the same "
                     "metrics as JSON")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"text", "prometheus", "openmetrics", "json"}));
    meters
        ->add_option("--output", options->output,
                     "write to FILE instead of standard output, replacing it atomically (a collector never "
                     "reads half a file)")
        ->type_name("FILE");
    meters->add_option("--cabinet", options->cabinet, "the cabinet label of the metrics (default: the folder's name)")
        ->type_name("NAME");
    meters->footer(
        "Examples:\n"
        "  quizhost meters --root /srv/cabinet --html meters.html\n"
        "  quizhost meters --root /srv/cabinet --format prometheus \\\n"
        "      --output /var/lib/prometheus/node-exporter/quizhost-cabinet.prom\n"
        "Dates are written dd/mm/yyyy. The meter file is never written.\n"
        "Exit status: 0; 1 when the meter file is damaged (each damaged line is named on standard error and in "
        "the report, which is still written), or the meter file cannot be read or an output written.");
    meters->callback([options, &status] {
        const read_only_cabinet cabinet = open_read_only_cabinet(options->root);
        meter_tool_options chosen = *options;
        chosen.root = cabinet.root;
        if (chosen.cabinet.empty()) {
            // "--root ." names the cabinet after the folder it stands for, not after ".".
            std::error_code error;
            const auto folder = std::filesystem::weakly_canonical(std::filesystem::absolute(chosen.root), error);
            if (!error && folder.has_filename()) chosen.cabinet = folder.filename().string();
            if (!error && !folder.has_filename()) chosen.cabinet = folder.parent_path().filename().string();
        }
        const auto now = make_system_clock();
        status = run_meter_report(*cabinet.files, *now, chosen, std::cout, std::cerr);
    });
}

}  // namespace quizhost

// The meters as metrics for the monitoring systems operators run (Prometheus through the node or windows
// exporter's textfile folder, or any tool that reads JSON): every meter under the stable name the meter
// definitions give it, the setup values, and the cabinet's health as its files show it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "basic/date_time.hpp"

namespace quizhost {

struct meter_report;

// What the cabinet's error log shows of its health: fatal errors since the log was last started anew,
// and the last launch.
struct log_summary {
    long fatal_errors = 0;
    std::optional<date_time> last_launch;
};
// Reads the log's bytes. Entries are "dd/mm/yyyy HH:MM:SS  message"; a fatal error's message is
// "ERROR! n - description.  Game Terminated." (or the kiosk's "KIOSK BROWSER DIED ...  Game Terminated."),
// a launch's "LAUNCHING GAME (V...)". A movie's text never counts: the host marks it when it could.
log_summary summarize_log(std::string_view bytes);

// What the game recall shows of money the host could not account for when it ended: closed by a start-up,
// or still in flight until the next one.
struct recall_summary {
    long games_unsettled = 0;
    long payments_in_doubt = 0;
    long bank_additions_in_doubt = 0;
};

// What the export says beside the meters; times in seconds since 1970-01-01 00:00 UTC.
struct export_context {
    std::string cabinet;                              // the "cabinet" label of every metric
    std::string meter_file;                           // the meter file's path
    std::optional<std::int64_t> made;                 // when the export was made
    std::optional<std::int64_t> meter_file_modified;  // the meter file's modification time
    std::optional<log_summary> log;                   // none when the cabinet has no log
    std::optional<std::int64_t> last_launch;          // the log's last launch, as Unix time
    std::optional<recall_summary> recall;             // none when the cabinet has no game recall
};

struct metric_sample {
    std::vector<std::pair<std::string, std::string>> labels;  // besides "cabinet"
    double value = 0;
};

struct metric_family {
    std::string name;
    bool counter = false;  // else a gauge
    std::string unit;      // "credits", "seconds", or "" for counts
    std::string help;
    std::string key;  // the meter key it comes from ("" for values that are not meters)
    std::vector<metric_sample> samples;
};

// Every metric of the export, meters first in the order of the meter definitions. A meter the file has
// no line for has no sample.
std::vector<metric_family> meter_metrics(const meter_report& report, const export_context& context);

// The Prometheus text exposition format (0.0.4) that Prometheus and the node and windows exporters'
// textfile collectors read: HELP and TYPE lines, counters named with their "_total", LF line ends.
std::string metrics_text(const std::vector<metric_family>& metrics, const export_context& context);

// The same metrics in OpenMetrics 1.0: counter families named without "_total" in TYPE, HELP and UNIT, their
// samples with it; the info metric of type info; "# EOF" at the end.
std::string metrics_openmetrics(const std::vector<metric_family>& metrics, const export_context& context);

// The same metrics as one JSON object, with the cabinet, the source file and the damaged lines.
std::string metrics_json(const std::vector<metric_family>& metrics, const meter_report& report,
                         const export_context& context);

}  // namespace quizhost

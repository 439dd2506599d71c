// The operator's preflight of a cabinet folder: everything the host will need at start-up and in play,
// checked before the first coin, without writing anything. Each finding names its file and what to do.
#pragma once

#include <functional>
#include <string>

#include "content/content_tools.hpp"
#include "definitions.hpp"
#include "platform/credit_probe.hpp"
#include "platform/write_access.hpp"

namespace quizhost {

class file_system;
class client_shell;

struct cabinet_check_options {
    std::string program_folder;  // the cabinet folder, no trailing separator
    int credit_port = default_credit_port;
    std::string credit_service_user;    // as quizhost's --credit-service-user
    int http_port = default_http_port;  // the browser player's port; 0: not checked
};

// What the check looks through: the machine's files, how it asks whether a path may be written, how it
// loads the credit library without calling it, and the cabinet shell (null: that channel counts as missing).
struct cabinet_check_seams {
    file_system& files;
    std::function<bool(const std::string& path)> writable = may_write;
    std::function<std::string(const std::string& program_folder)> probe_library = probe_credit_library;
    client_shell* shell = nullptr;
};

// Checks the cabinet as the host would start and play it: the movies, the system, variable and data
// folders, whether the host can write where it must (asked of the system's permissions, never by
// writing), the setup values and what the host will use instead of a bad one, the platform flag files and
// the credit channel they select (the library loads with its four entry points; the shell attaches; the
// local service answers a GET_CREDIT, which only reads), the data folder as `quizhost content check`
// sees it, and the browser player's port. Nothing is written, created or taken from the cabinet's money.
// status() of the result: 0 clean, 1 warnings, 2 errors.
content_findings check_cabinet(const cabinet_check_seams& seams, const cabinet_check_options& options,
                               const progress_report& progress = {});

}  // namespace quizhost

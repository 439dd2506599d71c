// `quizhost check`: the operator's preflight of a cabinet folder. Reads only.
#include <cstdio>
#include <memory>
#include <string>

#include "definitions.hpp"
#include "forms/cabinet_check.hpp"
#include "platform/client_shell.hpp"
#include "platform/file_system.hpp"
#include "player/cabinet.hpp"
#include "tools.hpp"

namespace quizhost {
namespace {

struct check_options {
    std::string root;
    int credit_port = default_credit_port;
    std::string credit_service_user;
    int http_port = default_http_port;
};

// One line on standard error, rewritten as a large question file is deciphered.
void show_progress(const std::string& file, long done, long total) {
    std::fprintf(stderr, "\rdeciphering %s: %ld of %ld lines", file.c_str(), done, total);
    if (done == total) std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

int run_check(const check_options& options, const std::string& program_folder) {
    cabinet_check_options check;
    check.program_folder = without_trailing_separator(options.root.empty() ? program_folder : options.root);
    check.credit_port = options.credit_port;
    check.credit_service_user = options.credit_service_user;
    check.http_port = options.http_port;
    const auto files = make_native_file_system();
    const auto shell = make_native_client_shell(check.program_folder);
    cabinet_check_seams seams{*files};
    seams.shell = shell.get();
    const content_findings findings = check_cabinet(seams, check, show_progress);
    for (const auto& finding : findings.list) std::printf("%s\n", format_finding(finding).c_str());
    const long errors = findings.count(content_finding::level::error);
    const long warnings = findings.count(content_finding::level::warning);
    std::printf("%s: %ld error%s, %ld warning%s\n", check.program_folder.c_str(), errors, errors == 1 ? "" : "s",
                warnings, warnings == 1 ? "" : "s");
    std::fflush(stdout);
    return findings.status();
}

}  // namespace

void add_check_command(CLI::App& app, int& status, const std::string& program_folder) {
    auto options = std::make_shared<check_options>();
    CLI::App* check = app.add_subcommand(
        "check",
        "Preflight a cabinet folder before the first coin: what the host needs, where it must write, setup.ini, "
        "the credit channel, the data folder, the browser player's port. Writes nothing.");
    check->add_option("--root", options->root, "The cabinet folder (default: the folder holding quizhost)")
        ->type_name("DIR");
    check
        ->add_option("--credit-port", options->credit_port,
                     "Port of the local credit service the cabinet uses (default 7475)")
        ->type_name("PORT")
        ->check(CLI::Range(1, 65535));
    check
        ->add_option("--credit-service-user", options->credit_service_user,
                     "A user besides root and quizhost's own that may run the local credit service")
        ->type_name("USER");
    check
        ->add_option("--http-port", options->http_port,
                     "The browser player's port that must be free (default 7480; 0 skips this check)")
        ->type_name("PORT")
        ->check(CLI::Range(0, 65535));
    check->footer(
        "One finding per line: FILE: error|warning|note: what is wrong and what to do. Errors stop the cabinet\n"
        "at start or in a game; warnings are what the host repairs or replaces at start (a missing meter file,\n"
        "a setup value out of bounds) or what a paying cabinet should not have (demo_mode.txt).\n"
        "Nothing is written, created or moved. The credit library is loaded but not called; the cabinet shell\n"
        "is attached and let go; the local credit service is asked GET_CREDIT, which only reads, and only when\n"
        "its listener belongs to root, quizhost's own user or --credit-service-user (any other is named as an\n"
        "error and sent nothing); the browser port is listened on for a moment.\n"
        "Example:\n  quizhost check --root /srv/cabinet\n"
        "Exit status: 0 clean, 1 warnings only, 2 errors.");
    check->callback([options, &status, program_folder] { status = run_check(*options, program_folder); });
}

}  // namespace quizhost

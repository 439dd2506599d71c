#include "player/cabinet.hpp"

#include <exception>
#include <filesystem>

#include "forms/form_main.hpp"
#include "host.hpp"
#include "platform/event_sink.hpp"
#include "platform/folder_lock.hpp"

namespace quizhost {

machine_seams::machine_seams(const cabinet_options& options)
    : files(make_native_file_system()),
      library(make_native_credit_library(options.program_folder)),
      shell(make_native_client_shell(options.program_folder)) {}

void machine_seams::attach(host& h, const cabinet_options& options) const {
    h.io.files = files.get();
    h.io.library = library.get();
    h.io.shell = shell.get();
    h.program_folder = options.program_folder;
    h.credit_port = options.credit_port;
    h.credit_service_user = options.credit_service_user;
}

std::string fatal_report_line(std::string_view what, const std::string& log_text, const std::string& detail) {
    return "quizhost: fatal error in " + std::string(what) + ": " + log_text + " -- " +
           (detail.empty() ? std::string("no detail") : escape_field(detail));
}

std::string command_step_name(const std::string& command, const std::string& args) {
    std::string name = escape_field(command);
    if (!args.empty()) name += " \"" + escape_field(args) + "\"";
    return name;
}

std::optional<int> lock_cabinet(const cabinet_options& options, std::unique_ptr<file_lock>& lock, std::FILE* err) {
    std::string holder;
    try {
        lock = try_lock_folder(options.program_folder, holder);
    } catch (const run_time_error& e) {
        std::fprintf(err, "quizhost: cannot lock the cabinet folder %s: %s\n", options.program_folder.c_str(),
                     e.detail().empty() ? e.what() : e.detail().c_str());
        std::fflush(err);
        return exit_usage;
    }
    if (lock) return std::nullopt;
    // Two hosts on one folder would interleave their rewrites of the meter file and lose audited games.
    std::fprintf(err,
                 "quizhost: the cabinet folder %s is in use by another quizhost%s; this one ends without touching it\n",
                 options.program_folder.c_str(), holder.empty() ? "" : (" (" + holder + ")").c_str());
    std::fflush(err);
    return exit_cabinet_busy;
}

std::optional<int> run_host_step(host& h, const std::function<void()>& step, std::FILE* err, std::string_view what,
                                 fatal_report* fatal) {
    std::optional<int> status;
    try {
        step();
        return std::nullopt;
    } catch (const fatal_exit& exit) {
        status = exit.status;
        // The log line carries only the error's number and description; the operator learns here which
        // command, which file or which address failed.
        std::fprintf(err, "%s\n", fatal_report_line(what, exit.log_text, exit.detail).c_str());
        std::fflush(err);
        if (fatal != nullptr) *fatal = fatal_report{exit.log_text, exit.detail};
    } catch (const program_exit& exit) {
        status = exit.status;
    } catch (const run_time_error& error) {
        // Only the main form handles failures; one anywhere else (the intro form, or the fatal error path
        // itself failing) ends the program as it stands.
        std::fprintf(err, "quizhost: unhandled run-time error %s\n", error.what());
        std::fflush(err);
        status = exit_intro_failed;
    } catch (const std::exception& failure) {
        // Not a run-time error of the host's own (memory, the C++ library): it ends the program the same way.
        std::fprintf(err, "quizhost: unhandled failure: %s\n", failure.what());
        std::fflush(err);
        status = exit_intro_failed;
    }
    if (h.io.trace != nullptr) h.io.trace->event({"exit", std::to_string(*status)});
    return status;
}

std::string executable_folder(const char* argv0) {
    std::error_code failed;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed || self.empty()) {
        self = std::filesystem::absolute(argv0 != nullptr ? argv0 : ".", failed);
    }
    return without_trailing_separator(self.parent_path().string());
}

std::string without_trailing_separator(std::string folder) {
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    return folder;
}

}  // namespace quizhost

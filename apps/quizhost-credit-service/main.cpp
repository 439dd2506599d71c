// quizhost-credit-service: a simulator of a socket cabinet's local credit service, and its coin slot, for
// demos and tests. A cabinet's own credit service is the cabinet maker's.
#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "basic/numbers.hpp"
#include "credit_state.hpp"
#include "definitions.hpp"
#include "meters/setup_file_defs.hpp"
#include "platform/file_system.hpp"
#include "platform/loopback_socket.hpp"
#include "platform/paths.hpp"
#include "platform/standard_streams.hpp"
#include "player/cabinet.hpp"
#include "records/text_records.hpp"
#include "service.hpp"

namespace {

std::atomic<bool> stop_requested{false};

extern "C" void request_stop(int) { stop_requested.store(true); }

int fail(const std::string& message) {
    std::fprintf(stderr, "quizhost-credit-service: %s\n", message.c_str());
    return 1;
}

int run_service(int port, const quizhost::credit_service::settings& service) {
    try {
        const quizhost::standin::credit_state readable(service.state_path);  // a bad path shows now, not per request
    } catch (const quizhost::run_time_error& e) {
        return fail("cannot use the state file " + service.state_path + ": " + e.what());
    }
    std::unique_ptr<quizhost::loopback_listener> listener;
    try {
        listener = quizhost::listen_on_loopback(port);
    } catch (const quizhost::run_time_error& e) {
        return fail(e.detail());
    }
    std::signal(SIGINT, request_stop);
    std::signal(SIGTERM, request_stop);
    std::printf("quizhost-credit-service: simulator listening on 127.0.0.1:%d, state %s, %s credits a game\n",
                listener->port(), service.state_path.c_str(), quizhost::number_to_text(service.price).c_str());
    std::fflush(stdout);
    quizhost::credit_service::serve(*listener, service, stop_requested);
    return 0;
}

int run_insert(const std::string& credits_text, const std::string& state_path) {
    double credits = 0;
    try {
        credits = quizhost::strict_number(credits_text);
    } catch (const quizhost::run_time_error&) {
        credits = -1;
    }
    if (credits < 1 || credits > 10000 || credits != static_cast<double>(static_cast<long>(credits))) {
        std::fprintf(
            stderr, "quizhost-credit-service: insert: the credits must be a whole number from 1 to 10000, not \"%s\"\n",
            credits_text.c_str());
        return quizhost::exit_usage;
    }
    try {
        const double credit = quizhost::credit_service::insert_credits(state_path, credits);
        std::printf("credit %s\n", quizhost::number_to_text(credit).c_str());
    } catch (const quizhost::run_time_error& e) {
        return fail("insert: " + std::string(e.what()));
    }
    return 0;
}

// The price the cabinet at `folder` plays at: S2 of its setup.ini, bounded as the host bounds it (a
// missing file or value is the host's default too).
double cabinet_price(const std::string& folder) {
    const auto files = quizhost::make_native_file_system();
    const std::string setup = folder + quizhost::system_folder_name + quizhost::setup_file_name;
    if (!quizhost::file_exists(*files, setup)) return quizhost::default_price_per_play;
    const double price = quizhost::leading_number(quizhost::read_record_field(*files, setup, "S2", 1));
    return quizhost::bounded_setup_values(quizhost::default_setup_values.payout_percent, price).price_per_play;
}

}  // namespace

static int run_program(int argc, char** argv) {
    // Its lines end in LF alone on every system, as the clients that read them expect.
    quizhost::use_binary_standard_streams();
    CLI::App app{
        "quizhost-credit-service: a SIMULATOR of a socket cabinet's local credit service (flg_meridian.dat),\n"
        "for demos and tests. It is not a cabinet's credit system: a cabinet in the field has its maker's own.\n"
        "Any local user that can reach it can add credit and bank, so run it only on a demo or test machine.\n"
        "Listens on 127.0.0.1 only and answers request lines, several clients at once, each connection for\n"
        "at most one second:\n"
        "  GET_CREDIT -> CREDIT n    GET_BANK -> BANK n    USE_CREDIT -> OK DONE | OK REFUSED\n"
        "  ADD_BANK amount -> OK DONE    GAME_EXIT -> OK BYE    anything else -> ERROR reason\n"
        "Credit and bank live in the state file (records credit,N and bank,N), replaced atomically.\n"
        "A game costs the cabinet's own price (S2 of its setup.ini, with --cabinet) or --price.\n"
        "Example: quizhost-credit-service --cabinet /srv/demo-cabinet"};
    int port = quizhost::default_credit_port;
    quizhost::credit_service::settings service{quizhost::standin::state_file_name, quizhost::default_price_per_play};
    std::string cabinet;
    app.add_option("--port", port, "TCP port on 127.0.0.1 (0: any free port, printed at start)")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
    const auto state_option =
        app.add_option("--state", service.state_path, "the state file (created when the first change is made)")
            ->capture_default_str();
    app.add_option("--cabinet", cabinet,
                   "the demo cabinet's folder: a game costs its price per play (S2 of system/setup.ini, as the "
                   "host reads it), and the state file is its credit_state.txt unless --state names another")
        ->type_name("DIR");
    const auto price_option = app.add_option("--price", service.price,
                                             "credits one game costs (what USE_CREDIT takes), instead of the "
                                             "cabinet's price")
                                  ->check(CLI::Range(1.0, 10000.0))
                                  ->capture_default_str();

    std::string credits_text;
    std::string insert_state = quizhost::standin::state_file_name;
    CLI::App* insert =
        app.add_subcommand("insert",
                           "the coin slot: add credits to the state file and print the new credit.\n"
                           "Example: quizhost-credit-service insert 100 --state /srv/cabinet/credit_state.txt");
    insert->add_option("credits", credits_text, "whole credits to add, 1 to 10000")->required();
    insert->add_option("--state", insert_state, "the state file")->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : quizhost::exit_usage;
    }
    if (insert->parsed()) return run_insert(credits_text, insert_state);
    if (!cabinet.empty()) {
        cabinet = quizhost::without_trailing_separator(cabinet);
        if (state_option->count() == 0) {
            service.state_path = cabinet + quizhost::path_separator + quizhost::standin::state_file_name;
        }
        if (price_option->count() == 0) {
            try {
                service.price = cabinet_price(cabinet);
            } catch (const quizhost::run_time_error& e) {
                return fail("cannot read the price of the cabinet " + cabinet + ": " + e.what());
            }
        }
    }
    return run_service(port, service);
}

int main(int argc, char** argv) {
    // A failure the program's own code does not catch (memory, the C++ library) ends it with a line and a
    // status, as one inside the host does, not with std::terminate's abort.
    try {
        return run_program(argc, argv);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "quizhost-credit-service: unhandled failure: %s\n", failure.what());
    } catch (...) {
        std::fprintf(stderr, "quizhost-credit-service: unhandled failure\n");
    }
    return 1;
}

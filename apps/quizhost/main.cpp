// quizhost: the host program of a coin-operated quiz cabinet.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "definitions.hpp"

int main(int argc, char** argv) {
    CLI::App app{"quizhost: the host program of a coin-operated quiz cabinet"};
    app.set_version_flag("--version", std::string("quizhost ") + QUIZHOST_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : quizhost::exit_usage;
    }
    return 0;
}

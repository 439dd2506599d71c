#include "display_option.hpp"

#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "definitions.hpp"
#include "platform/system_display.hpp"
#include "player/headless_player.hpp"
#ifdef QUIZHOST_HAS_X11
#include "platform/x11/x11_display.hpp"
#endif

namespace quizhost {
namespace {

constexpr bool built_with_x11 =
#ifdef QUIZHOST_HAS_X11
    true;
#else
    false;
#endif

// The system's own display ("windows" on Windows), which takes the place of X11 where there is one.
std::string system_display() { return system_display_name(); }

// The real displays --display offers on this system.
std::string real_display() { return system_display().empty() ? "x11" : system_display(); }

std::string display_variable() {
    const char* value = std::getenv("DISPLAY");
    return value != nullptr ? value : "";
}

// Says what auto picks on this machine now, so --help answers "which display would it touch?".
std::string auto_in_use() {
    std::string chosen = resolve_display_choice("auto", false);
    if (!system_display().empty() && chosen == system_display()) return chosen;
    if (chosen == "x11") return "x11 (DISPLAY=" + display_variable() + ")";
    if (!built_with_x11) return "none (this quizhost is built without X11)";
    return "none (DISPLAY is not set)";
}

// The --help sentence of it; nothing for a man page, which describes every machine, not the one it is
// made on (the package's build sets QUIZHOST_HELP_FOR_ANY_MACHINE for help2man).
std::string auto_in_use_sentence() {
    if (const char* generic = std::getenv("QUIZHOST_HELP_FOR_ANY_MACHINE"); generic != nullptr && *generic != '\0')
        return "";
    return " Without --script, auto now means " + auto_in_use() + ".";
}

}  // namespace

std::unique_ptr<display> open_chosen_display(const std::string& chosen) {
    if (!system_display().empty() && chosen == system_display()) return make_system_display();
    if (chosen == "windows") throw std::runtime_error("the Windows display exists only in the Windows build");
    if (chosen != "x11") return nullptr;
#ifdef QUIZHOST_HAS_X11
    return make_x11_display();
#else
    throw std::runtime_error("this quizhost is built without X11 (install libx11-dev and libxrandr-dev and rebuild)");
#endif
}

void add_display_option(CLI::App& app, std::string& choice) {
    app.add_option("--display", choice,
                   "The display set to 800x600 at start and restored at the end: x11 (the X server named by "
                   "DISPLAY, through RandR), none (leave it alone) or auto (the default: the movie script's own "
                   "display with --script, else x11 when DISPLAY is set, else none)." +
                       auto_in_use_sentence() + " Example: --display none")
        // Windows cabinets have the primary screen of the Windows display calls in place of X11.
        ->type_name(real_display() + "|none|auto")
        ->check(CLI::IsMember({real_display(), std::string("none"), std::string("auto")}).description(""));
}

std::string resolve_display_choice(const std::string& choice, bool scripted) {
    if (choice != "auto") return choice;
    if (scripted) return "headless";
    if (!system_display().empty()) return system_display();
    return built_with_x11 && !display_variable().empty() ? "x11" : "none";
}

int run_headless_on_display(const cabinet_options& options, const movie_script& script, const std::string& choice,
                            std::FILE* out, std::FILE* err) {
    const std::string chosen = resolve_display_choice(choice, true);
    if (chosen == "headless") return run_headless(options, script, out, err);

    std::unique_ptr<display> real;
    try {
        real = open_chosen_display(chosen);
    } catch (const std::exception& e) {
        std::fprintf(err, "quizhost: --display %s: %s\n", chosen.c_str(), e.what());
        return exit_usage;
    }

    return run_headless(options, script, out, err, real.get());
}

}  // namespace quizhost

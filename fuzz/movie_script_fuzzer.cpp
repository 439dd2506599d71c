// The headless player's movie script parser on any text. A malformed line must be refused with a
// script_error naming a line of the script; a script that parses must hold only directives the player
// can act on, and the field escapes must carry every byte there and back.
#include <cmath>
#include <cstdint>
#include <string>

#include "platform/event_sink.hpp"
#include "player/movie_script.hpp"
#include "support/finding.hpp"

using namespace quizhost;
using fuzzing::expect;

namespace {

int count_lines(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines + (text.empty() || text.back() == '\n' ? 0 : 1);
}

void check_directive(const script_directive& d, int lines, const std::string& text) {
    using kind = script_directive::kind;
    expect(d.line >= 1 && d.line <= lines, "a directive names a line outside the script", text);
    switch (d.what) {
        case kind::draw:
            expect(d.draw >= 0 && d.draw < 1, "a draw outside [0, 1) was accepted", text);
            break;
        case kind::screen:
            expect(d.width > 0 && d.height > 0, "a screen without a size was accepted", text);
            break;
        case kind::clock_at:
            expect(d.at.month >= 1 && d.at.month <= 12 && d.at.day >= 1 && d.at.day <= 31 && d.at.hour <= 23 &&
                       d.at.minute <= 59 && d.at.second <= 59,
                   "an impossible moment was accepted", text);
            break;
        case kind::clock_advance:
            expect(d.seconds >= 0, "the clock was moved back", text);
            break;
        default:
            break;
    }
}

// The script that plays `name` with `args`, written with the transcript's escapes.
void check_escapes_round_trip(const script_directive& d) {
    const std::string line = "fs\t" + escape_field(d.name) + "\t" + escape_field(d.value) + "\n";
    movie_script again;
    try {
        again = parse_movie_script(line);
    } catch (const script_error& e) {
        fuzzing::report_finding("an escaped command did not parse", e.what());
    }
    expect(again.size() == 1 && again[0].name == d.name && again[0].value == d.value,
           "escaping a command's fields did not carry them there and back", line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int lines = count_lines(text);
    movie_script script;
    try {
        script = parse_movie_script(text);
    } catch (const script_error& e) {
        expect(e.line() >= 1 && e.line() <= lines, "a script error names a line outside the script", text);
        return 0;
    }
    for (const script_directive& d : script) {
        check_directive(d, lines, text);
        if (d.what == script_directive::kind::fs || d.what == script_directive::kind::var) check_escapes_round_trip(d);
    }
    // Any bytes at all pass through the escapes unchanged.
    try {
        expect(unescape_field(escape_field(text)) == text, "escape and unescape do not undo each other", text);
    } catch (const std::invalid_argument& e) {
        fuzzing::report_finding("an escaped field did not unescape", e.what());
    }
    return 0;
}

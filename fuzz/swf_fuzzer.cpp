// The SWF reader on arbitrary bytes, and the assembler on arbitrary text. An input starting with "A" is
// the text form of a movie (swf/swf_source.hpp): whatever it assembles to is written in every packing and
// read back with the same facts. Any other input is a SWF file as a cabinet might hold one: the reader
// answers facts or a swf_error, never a crash, a hang or an allocation beyond its bound, and the shim is
// made from any movie it reads.
#include <cstdint>
#include <string>

#include "support/finding.hpp"
#include "swf/swf_inspect.hpp"
#include "swf/swf_shim.hpp"
#include "swf/swf_source.hpp"

using namespace quizhost;
using fuzzing::expect;

namespace {

std::string text_of(const swf::bytes& b) { return {b.begin(), b.end()}; }

void read_file(const std::string& data) {
    try {
        const swf::movie_facts facts = swf::inspect_movie(data);
        const swf::movie_facts shim =
            swf::inspect_movie(text_of(swf::make_shim(facts, "http://127.0.0.1:1/swf/a.swf")));
        expect(shim.commands.empty(), "the shim raises a command", data);
        expect(shim.frame.x_max == facts.frame.x_max && shim.frame_rate == facts.frame_rate,
               "the shim's stage differs from the game's", data);
    } catch (const swf::swf_error&) {
    }
}

void assemble_text(const std::string& source) {
    swf::movie m;
    try {
        m = swf::assemble(source);
    } catch (const swf::swf_error&) {
        return;
    }
    std::string first_commands;
    for (const auto packing : {swf::compression::none, swf::compression::zlib, swf::compression::lzma}) {
        m.stored = packing;
        std::string file;
        try {
            file = text_of(swf::write_movie(m));
        } catch (const swf::swf_error&) {
            return;  // an action too long for its record
        }
        std::string commands;
        try {
            for (const auto& c : swf::inspect_movie(file).commands) commands += c.name + "\n";
        } catch (const swf::swf_error& e) {
            // Hand-written actions may be malformed (a jump into a push); the tags around them are not.
            commands = std::string("error: ") + e.what();
        }
        if (packing == swf::compression::none) first_commands = commands;
        expect(commands == first_commands, "a packing changes what the movie reads as", source);
        read_file(file.substr(0, file.size() / 2));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (!input.empty() && input[0] == 'A') {
        assemble_text(input.substr(1));
    } else {
        read_file(input);
    }
    return 0;
}

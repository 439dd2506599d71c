// quizhost-swf SOURCE OUTPUT [--version N] [--compress fws|cws|zws]: writes the movie that SOURCE
// describes. The options override the source's "movie" line, so one source gives every version and
// packing of a movie.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "swf/swf_shim.hpp"
#include "swf/swf_source.hpp"

int main(int argc, char** argv) {  // NOLINT(bugprone-exception-escape): CLI11 and the streams report their own failures
    CLI::App app{"Assembles the text form of a Flash movie (AVM1) into a SWF file."};
    std::string source_path;
    std::string output_path;
    int version = 0;
    std::string packing;
    std::string shim_for;
    app.add_option("source", source_path, "the movie's text form (\"-\": standard input)")->required();
    app.add_option("output", output_path, "the SWF file to write")->required();
    app.add_option("--version", version, "the SWF version, 5 to 50 (default: the source's)")->check(CLI::Range(5, 50));
    app.add_option("--compress", packing, "fws (none), cws (zlib) or zws (LZMA); default: the source's")
        ->check(CLI::IsMember({"fws", "cws", "zws"}));
    app.add_option("--shim", shim_for,
                   "read SOURCE as a SWF game and write the shim the browser player makes for it, loading "
                   "the game from this absolute URL");
    CLI11_PARSE(app, argc, argv);

    std::stringstream text;
    if (source_path == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream in(source_path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "quizhost-swf: cannot read %s\n", source_path.c_str());
            return 1;
        }
        text << in.rdbuf();
    }
    try {
        quizhost::swf::bytes bytes;
        if (!shim_for.empty()) {
            bytes = quizhost::swf::make_shim(quizhost::swf::inspect_movie(text.str()), shim_for);
        } else {
            quizhost::swf::movie m = quizhost::swf::assemble(text.str());
            if (version != 0) m.version = static_cast<std::uint8_t>(version);
            if (packing == "fws") m.stored = quizhost::swf::compression::none;
            if (packing == "cws") m.stored = quizhost::swf::compression::zlib;
            if (packing == "zws") m.stored = quizhost::swf::compression::lzma;
            bytes = quizhost::swf::write_movie(m);
        }
        const std::string temporary = output_path + ".tmp";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            if (!out.flush()) throw quizhost::swf::swf_error("cannot write " + temporary);
        }
        if (std::rename(temporary.c_str(), output_path.c_str()) != 0) {
            throw quizhost::swf::swf_error("cannot write " + output_path);
        }
    } catch (const quizhost::swf::swf_error& e) {
        std::fprintf(stderr, "quizhost-swf: %s: %s\n", source_path.c_str(), e.what());
        return 1;
    }
    return 0;
}

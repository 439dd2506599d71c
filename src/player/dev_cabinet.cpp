#include "player/dev_cabinet.hpp"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "basic/numbers.hpp"

namespace quizhost {
namespace {

namespace fs = std::filesystem;

// FNV-1a: short, and the same on every run and build (std::hash promises neither).
std::string path_digest(const std::string& text) {
    std::uint32_t hash = 2166136261U;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619U;
    }
    char out[9];
    std::snprintf(out, sizeof out, "%08x", hash);
    return out;
}

fs::path absolute_normal(const std::string& path) {
    std::error_code ignored;
    const fs::path whole = fs::weakly_canonical(fs::absolute(fs::path(path)), ignored).lexically_normal();
    // "/x/quiz/" is the folder "/x/quiz": its name, not an empty one.
    return whole.has_filename() || whole == whole.root_path() ? whole : whole.parent_path();
}

// `inner` is `outer` or lies below it (both absolute and normal).
bool lies_within(const fs::path& inner, const fs::path& outer) {
    auto a = inner.begin();
    for (auto b = outer.begin(); b != outer.end(); ++b, ++a) {
        if (b->empty()) continue;  // the trailing "" of "/x/"
        if (a == inner.end() || *a != *b) return false;
    }
    return true;
}

bool is_folder(const fs::path& path) {
    std::error_code ignored;
    return fs::is_directory(path, ignored);
}

// The file that marks a folder of the cabinet as a copy made by quizhost dev, which it may replace.
constexpr const char* copied_marker = ".quizhost-dev-copy";

void write_text(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw dev_cabinet_error("cannot write " + path.string());
}

// `link` in the cabinet leads to `target`, replacing a link that led elsewhere. Anything else already there
// is the developer's own business and stays: the host then reads what is there. A system that makes no
// links for this user (Windows without developer mode) gets a copy, taken afresh at each start.
void make_link(const fs::path& link, const fs::path& target, std::vector<std::string>& notes) {
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(link, error))) {
        if (fs::read_symlink(link, error) == target) return;
        fs::remove(link, error);
    } else if (fs::exists(link / copied_marker, error)) {
        fs::remove_all(link, error);  // our own copy of an earlier start: taken afresh below
    } else if (fs::exists(fs::symlink_status(link, error))) {
        notes.push_back(link.string() + " is the cabinet's own, not a link to " + target.string() + ": it is kept");
        return;
    }
    fs::create_directory_symlink(target, link, error);
    if (!error) return;
    const std::string why = error.message();
    fs::copy(target, link, fs::copy_options::recursive, error);
    if (error) {
        throw dev_cabinet_error("cannot link " + link.string() + " to " + target.string() + " (" + why +
                                ") nor copy it: " + error.message());
    }
    write_text(link / copied_marker, "a copy of " + target.string() + ", made again at each start of quizhost dev\n");
    notes.push_back(link.filename().string() + ": copied from " + target.string() +
                    " (this system made no link: " + why + "); a change there shows at the next start");
}

// The credit the stand-ins' state file holds; nothing when there is no file.
std::optional<double> stored_credit(const fs::path& state) {
    std::ifstream in(state, std::ios::binary);
    if (!in) return std::nullopt;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("credit,", 0) == 0) return leading_number(line.substr(7));
    }
    return 0.0;
}

}  // namespace

const char* const dev_intro_page = R"(<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>quizhost dev</title></head>
<body style="margin:0;width:800px;height:600px;background:#111;color:#9cf;font:20px sans-serif">
<p style="margin:270px 0 0;text-align:center">quizhost dev: this cabinet's own intro (the developer's folder has none)</p>
<script src="/runtime/movie.js"></script>
<script>
  // Ends at once: the game movie is what is being developed.
  movie.onFrame((frame) => frame === 1 && movie.fscommand("INTRO_END"));
</script>
</body></html>
)";

std::string default_dev_cabinet_folder(const std::string& source, const std::string& state_home) {
    const fs::path whole = absolute_normal(source);
    std::string name = whole.filename().string();
    if (name.empty()) name = "cabinet";
    return (fs::path(state_home) / "quizhost-dev" / (name + "-" + path_digest(whole.string()))).string();
}

dev_cabinet prepare_dev_cabinet(const dev_cabinet_request& request) {
    const fs::path source = absolute_normal(request.source);
    if (!is_folder(source)) throw dev_cabinet_error(request.source + ": no such folder");
    std::error_code error;

    dev_cabinet made;
    fs::path intro;
    fs::path game;
    fs::path data;
    fs::path setup;
    if (is_folder(source / "flash_game")) {
        game = source / "flash_game";
        if (is_folder(source / "intro")) intro = source / "intro";
        if (is_folder(source / "data")) data = source / "data";
        if (fs::is_regular_file(source / "system" / "setup.ini", error)) setup = source / "system" / "setup.ini";
    } else if (fs::is_regular_file(source / "index.html", error)) {
        game = source;
    } else {
        throw dev_cabinet_error(request.source +
                                " is neither a cabinet folder (one with flash_game/) nor a game movie's folder (one "
                                "with index.html)");
    }

    const fs::path root = absolute_normal(
        request.cabinet.empty() ? default_dev_cabinet_folder(source.string(), request.state_home) : request.cabinet);
    // The host writes its meters, logs and high scores into the cabinet: never into what the developer keeps.
    if (lies_within(root, source) || lies_within(source, root)) {
        throw dev_cabinet_error("the cabinet folder " + root.string() + " must lie outside the developer's folder " +
                                source.string());
    }
    if (!request.source_tree.empty() && lies_within(root, absolute_normal(request.source_tree))) {
        throw dev_cabinet_error("the cabinet folder " + root.string() + " must lie outside the source tree " +
                                request.source_tree);
    }
    made.root = root.string();
    made.reused = is_folder(root);
    fs::create_directories(root, error);
    if (error) throw dev_cabinet_error("cannot make the cabinet folder " + root.string() + ": " + error.message());

    made.game_folder = game.string();
    if (intro.empty()) {
        const fs::path own = root / "dev_intro";
        fs::create_directories(own, error);
        write_text(own / "index.html", dev_intro_page);
        made.intro_folder = own.string();
        made.notes.emplace_back("intro: the cabinet's own, which ends at once (the developer's folder has no intro/)");
    } else {
        made.intro_folder = intro.string();
    }
    if (!data.empty()) {
        make_link(root / "data", data, made.notes);
    } else {
        made.notes.emplace_back(
            "data: none (GET_QUESTION needs data/data_D_S.dat; add a data/ folder beside flash_game/)");
    }
    if (!setup.empty() && !fs::exists(root / "system" / "setup.ini", error)) {
        fs::create_directories(root / "system", error);
        fs::copy_file(setup, root / "system" / "setup.ini", error);
        if (error) throw dev_cabinet_error("cannot copy " + setup.string() + ": " + error.message());
    }

    if (!request.credit_library.empty()) {
        const fs::path library = root / request.credit_library_name;
        // Copied afresh each start: the stand-in may have been rebuilt since. The old copy goes first (a
        // library in use cannot be written over on Windows, and mingw's overwrite_existing fails there).
        fs::remove(library, error);
        fs::copy_file(request.credit_library, library, fs::copy_options::overwrite_existing, error);
        if (error) {
            throw dev_cabinet_error("cannot copy the stand-in credit library " + request.credit_library + ": " +
                                    error.message());
        }
    } else {
        made.notes.emplace_back(
            "credit: no stand-in credit library found beside quizhost; the first credit command fails");
    }
    const fs::path state = root / "credit_state.txt";
    made.credit_state = state.string();
    if (!stored_credit(state)) {
        write_text(state, "credit," + number_to_text(request.first_credit) + "\r\nbank,0\r\n");
    }
    return made;
}

}  // namespace quizhost

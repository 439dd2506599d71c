#include "platform/web/served_paths.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "definitions.hpp"
#include "platform/paths.hpp"
#include "swf/swf_file.hpp"

namespace quizhost::web {
namespace {

namespace fs = std::filesystem;

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes one path segment. Encoded separators and dots are refused rather than decoded: a name that
// needs them is not a name a movie uses, and refusing them closes every way of smuggling "..".
std::optional<std::string> decode_segment(std::string_view raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '%') {
            if (i + 2 >= raw.size()) return std::nullopt;
            const int high = hex_digit(raw[i + 1]);
            const int low = hex_digit(raw[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            c = static_cast<char>(high * 16 + low);
            if (c == '.' || c == '/' || c == '\\' || c == '\0') return std::nullopt;
            i += 2;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\' || c == ':') return std::nullopt;
        out += c;
    }
    return out;
}

bool plain_segment(const std::string& segment) { return !segment.empty() && segment.front() != '.'; }

// True when `inner` is `outer` itself or lies below it (both absolute and free of links).
bool lies_inside(const fs::path& inner, const fs::path& outer) {
    const auto mismatch = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    return mismatch.first == outer.end();
}

}  // namespace

std::optional<served_target> resolve_target(std::string_view target) {
    if (target.empty() || target.front() != '/') return std::nullopt;  // absolute-form, authority-form, "*"
    if (target.find('#') != std::string_view::npos) return std::nullopt;
    if (const auto query = target.find('?'); query != std::string_view::npos) target = target.substr(0, query);
    if (target == "/") return served_target{served_area::stage, "index.html"};

    // Split after the leading "/"; the last segment may be empty (a folder: its index.html).
    std::vector<std::string> segments;
    std::string_view rest = target.substr(1);
    while (true) {
        const auto slash = rest.find('/');
        auto segment = decode_segment(rest.substr(0, slash));
        if (!segment) return std::nullopt;
        segments.push_back(std::move(*segment));
        if (slash == std::string_view::npos) break;
        rest = rest.substr(slash + 1);
    }
    if (segments.size() < 2) return std::nullopt;  // "/intro" without its slash, "/index.html", "/system"
    if (segments.back().empty()) segments.back() = "index.html";
    if (!std::all_of(segments.begin() + 1, segments.end(), plain_segment)) return std::nullopt;

    if (segments.front() == "open") {
        if (segments.size() != 2 || segments.back() == "index.html") return std::nullopt;
        return served_target{served_area::one_time, segments.back()};
    }
    served_area area;
    if (segments.front() == "runtime") {
        area = served_area::runtime;
    } else if (segments.front() == "intro") {
        area = served_area::intro;
    } else if (segments.front() == "flash_game") {
        area = served_area::game;
    } else if (segments.front() == "dev") {
        area = served_area::developer;
    } else if (segments.front() == "swf") {
        area = served_area::swf;
    } else if (segments.front() == "shim") {
        area = served_area::shim;
    } else if (segments.front() == "ruffle") {
        area = served_area::ruffle;
    } else {
        return std::nullopt;
    }
    std::string relative;
    for (std::size_t i = 1; i < segments.size(); ++i) {
        if (i > 1) relative += '/';
        relative += segments[i];
    }
    return served_target{area, relative};
}

std::optional<std::string> movie_file(const std::string& program_folder, const served_target& target) {
    if (target.area != served_area::intro && target.area != served_area::game) return std::nullopt;
    std::error_code error;
    const fs::path program = fs::canonical(fs::path(program_folder), error);
    if (error) return std::nullopt;
    // The movie folder as it must be: directly below the real program folder, not where a link would lead.
    const fs::path folder = program / (target.area == served_area::intro ? "intro" : "flash_game");
    const fs::path file = fs::canonical(folder / fs::path(target.relative), error);
    if (error || !lies_inside(file, folder) || !fs::is_regular_file(file, error)) return std::nullopt;
    return file.string();
}

std::optional<std::string> movie_file_in(const std::string& folder, const served_target& target) {
    if (target.area != served_area::intro && target.area != served_area::game) return std::nullopt;
    std::error_code error;
    const fs::path real_folder = fs::canonical(fs::path(folder), error);
    if (error) return std::nullopt;
    const fs::path file = fs::canonical(real_folder / fs::path(target.relative), error);
    if (error || !lies_inside(file, real_folder) || !fs::is_regular_file(file, error)) return std::nullopt;
    return file.string();
}

std::string content_type(std::string_view name) {
    static constexpr std::pair<std::string_view, std::string_view> types[] = {
        {".html", "text/html; charset=utf-8"},
        {".htm", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},
        {".txt", "text/plain; charset=utf-8"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},
        {".gif", "image/gif"},
        {".webp", "image/webp"},
        {".ico", "image/x-icon"},
        {".woff", "font/woff"},
        {".woff2", "font/woff2"},
        {".ttf", "font/ttf"},
        {".otf", "font/otf"},
        {".mp3", "audio/mpeg"},
        {".ogg", "audio/ogg"},
        {".wav", "audio/wav"},
        {".m4a", "audio/mp4"},
        {".mp4", "video/mp4"},
        {".webm", "video/webm"},
        {".wasm", "application/wasm"},
        {".swf", "application/x-shockwave-flash"},
    };
    const auto dot = name.rfind('.');
    if (dot != std::string_view::npos) {
        std::string extension(name.substr(dot));
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        for (const auto& [known, type] : types) {
            if (extension == known) return std::string(type);
        }
    }
    return "application/octet-stream";
}

namespace {

bool starts_as_flash(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char start[3] = {};
    if (!in.read(start, sizeof start)) return false;
    return swf::looks_like_swf(std::string_view(start, sizeof start));
}

}  // namespace

std::optional<std::string> movie_url(const std::string& program_folder, const std::string& movie_path) {
    if (movie_path.empty()) return std::string{};
    for (const auto& [name, folder] :
         {std::pair{intro_movie_name, "intro"}, std::pair{game_movie_name, "flash_game"}}) {
        if (movie_path != program_folder + name) continue;
        // The HTML5 folder, when there is one, as before Flash movies played; else the Flash file.
        std::error_code error;
        if (!fs::is_directory(fs::path(program_folder) / folder, error) && starts_as_flash(movie_path)) {
            return std::string("/shim/") + (name + 1);
        }
        return "/" + std::string(folder) + "/";
    }
    return std::nullopt;
}

bool is_flash_url(std::string_view url) { return url.substr(0, 6) == "/shim/"; }

std::optional<std::string> flash_movie_file(const std::string& program_folder, const served_target& target) {
    if (target.area != served_area::swf && target.area != served_area::shim) return std::nullopt;
    for (const char* name : {intro_movie_name, game_movie_name}) {
        if (target.relative != name + 1) continue;
        std::error_code error;
        const fs::path file = fs::path(program_folder + name);
        if (!fs::is_regular_file(file, error)) return std::nullopt;
        return file.string();
    }
    return std::nullopt;
}

std::optional<std::string> ruffle_file(const std::string& ruffle_folder, const served_target& target) {
    if (target.area != served_area::ruffle || ruffle_folder.empty()) return std::nullopt;
    const std::string& name = target.relative;
    if (name.find('/') != std::string::npos) return std::nullopt;
    const auto ends_with = [&](std::string_view end) {
        return name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
    };
    if (!ends_with(".js") && !ends_with(".wasm") && name.rfind("LICENSE", 0) != 0) return std::nullopt;
    std::error_code error;
    const fs::path folder = fs::canonical(fs::path(ruffle_folder), error);
    if (error) return std::nullopt;
    const fs::path file = fs::canonical(folder / name, error);
    if (error || !lies_inside(file, folder) || !fs::is_regular_file(file, error)) return std::nullopt;
    return file.string();
}

std::string find_ruffle_folder(const std::string& executable_folder) {
    for (const fs::path& candidate : {fs::path(executable_folder) / "ruffle",
                                      fs::path(executable_folder) / ".." / "share" / "quizhost" / "ruffle"}) {
        std::error_code error;
        if (fs::is_regular_file(candidate / "ruffle.js", error)) return fs::weakly_canonical(candidate, error).string();
    }
    return "";
}

}  // namespace quizhost::web

#include "player/kiosk.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace quizhost {
namespace {

namespace fs = std::filesystem;

bool is_edge(const std::string& program) {
    // Either separator, whatever system this runs on: the name is only looked at, never opened.
    const auto slash = program.find_last_of("/\\");
    std::string name = slash == std::string::npos ? program : program.substr(slash + 1);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name.rfind("msedge", 0) == 0;
}

// What the profile's preferences say before the browser first reads them: no password manager, no
// translation offers, no default-browser question, and a previous session that ended cleanly.
constexpr const char* kiosk_preferences =
    R"({"browser":{"check_default_browser":false},"credentials_enable_service":false,)"
    R"("profile":{"password_manager_enabled":false,"exit_type":"Normal","exited_cleanly":true},)"
    R"("translate":{"enabled":false}})";

std::string describe_death(const std::string& why) { return "KIOSK BROWSER RESTARTED (" + why + ")"; }

bool plain_url_byte(unsigned char c) {
    return std::isalnum(c) != 0 || std::string_view("-._~/:").find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::string file_url(const std::string& path) {
    std::string generic = path;
    std::replace(generic.begin(), generic.end(), '\\', '/');
    std::string url = "file://";
    if (generic.empty() || generic.front() != '/') url += '/';  // a drive letter: file:///C:/...
    constexpr const char* hex = "0123456789ABCDEF";
    for (const char byte : generic) {
        const auto c = static_cast<unsigned char>(byte);
        if (plain_url_byte(c)) {
            url += byte;
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 0xF];
        }
    }
    return url;
}

std::string launch_page(const std::string& url) {
    // The link holds only plain bytes (the host makes it); location.replace leaves no entry to go back to,
    // and the refresh serves a browser whose scripts are off.
    return "<!doctype html>\n<meta charset=\"utf-8\"><title>quizhost</title>\n"
           "<meta name=\"referrer\" content=\"no-referrer\">\n"
           "<meta http-equiv=\"refresh\" content=\"0;url=" +
           url +
           "\">\n"
           "<script>location.replace(\"" +
           url + "\");</script>\n";
}

std::vector<std::string> kiosk_window_arguments(kiosk_screen screen) {
    // Chromium shrinks a window asked for at exactly a screen's size by one pixel each way (so that window
    // managers do not take it for a full-screen one), which leaves a black line at the right and the
    // bottom. One row more above and below the screen dodges that and keeps the stage at its own scale:
    // it centres the movie in the window, so the hidden rows are one above and one below the screen.
    return {"--window-position=0,-1",
            "--window-size=" + std::to_string(screen.width) + "," + std::to_string(screen.height + 2)};
}

std::vector<std::string> kiosk_browser_arguments(const std::string& program, const std::string& url,
                                                 const std::string& profile, const std::vector<std::string>& extra) {
    std::vector<std::string> args{"--kiosk"};
    if (is_edge(program)) args.emplace_back("--edge-kiosk-type=fullscreen");
    args.insert(args.end(), {
                                "--user-data-dir=" + profile,
                                "--no-first-run",
                                "--no-default-browser-check",
                                // The bubble offering to restore the pages of a browser that was killed.
                                "--hide-crash-restore-bubble",
                                "--disable-session-crashed-bubble",
                                "--noerrdialogs",
                                "--disable-infobars",
                                "--disable-pinch",
                                "--overscroll-history-navigation=0",
                                "--disable-component-update",
                                "--check-for-update-interval=31536000",
                                "--disable-background-networking",
                                "--disable-sync",
                                "--password-store=basic",
                                // Pop-up windows and new tabs: a cabinet shows one page.
                                "--block-new-web-contents",
                                "--autoplay-policy=no-user-gesture-required",
                                "--disable-features=Translate,TranslateUI,MediaRouter,PasswordManagerOnboarding",
                            });
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(url);
    return args;
}

kiosk_supervisor::kiosk_supervisor(std::string program, std::vector<std::string> extra_args, std::string profile_root,
                                   hooks h)
    : program_(std::move(program)),
      extra_args_(std::move(extra_args)),
      profile_root_(std::move(profile_root)),
      hooks_(std::move(h)) {}

kiosk_supervisor::~kiosk_supervisor() { end(); }

void kiosk_supervisor::start(time_point now) { launch(now); }

void kiosk_supervisor::launch(time_point now) {
    const fs::path profile = fs::path(profile_root_) / "profile";
    std::error_code ignored;
    fs::remove_all(profile, ignored);
    fs::create_directories(profile / "Default", ignored);
    std::ofstream(profile / "Default" / "Preferences", std::ios::binary) << kiosk_preferences;
    // The private folder is the user's alone (0700; on Windows the user's own temporary folder), so the
    // page, unlike a command line, keeps the link from every other user.
    const fs::path page = fs::path(profile_root_) / kiosk_launch_page;
    {
        std::ofstream out(page, std::ios::binary | std::ios::trunc);
        out << launch_page(hooks_.url());
        if (!out.flush()) throw process_error("cannot write the kiosk's launch page " + page.string());
    }
    // The window's place first, so that the operator's own arguments can override it.
    std::vector<std::string> extra;
    if (const auto screen = hooks_.screen ? hooks_.screen() : std::nullopt) extra = kiosk_window_arguments(*screen);
    extra.insert(extra.end(), extra_args_.begin(), extra_args_.end());
    process_ =
        hooks_.start({program_, kiosk_browser_arguments(program_, file_url(page.string()), profile.string(), extra)});
    started_at_ = now;
    seen_stage_ = false;
    lost_since_.reset();
}

bool kiosk_supervisor::check(time_point now, bool stage_connected) {
    if (gave_up_ || !process_) return false;
    std::optional<std::string> why;
    if (const auto ended = process_->ended()) {
        why = "it ended, " + *ended;
    } else if (stage_connected) {
        seen_stage_ = true;
        lost_since_.reset();
    } else if (seen_stage_) {
        if (!lost_since_) lost_since_ = now;
        if (now - *lost_since_ >= kiosk_stage_grace) why = "its page lost the connection to the host";
    } else if (now - started_at_ >= kiosk_first_connection_bound) {
        why = "its page did not connect within " + std::to_string(kiosk_first_connection_bound.count()) + " s";
    }
    if (!why) return false;
    died(now, *why);
    return true;
}

void kiosk_supervisor::died(time_point now, const std::string& why) {
    if (process_) process_->end();
    process_.reset();
    deaths_.push_back(now);
    while (now - deaths_.front() >= kiosk_death_window) deaths_.pop_front();
    if (static_cast<int>(deaths_.size()) >= kiosk_death_limit) {
        gave_up_ = true;
        why_ = "KIOSK BROWSER DIED " + std::to_string(kiosk_death_limit) + " TIMES WITHIN A MINUTE (last: " + why + ")";
        return;
    }
    hooks_.log(describe_death(why));
    ++restarts_;
    try {
        launch(now);
    } catch (const process_error& e) {
        died(now, e.what());
    }
}

void kiosk_supervisor::end() {
    if (process_) process_->end();
    process_.reset();
    std::error_code ignored;
    fs::remove_all(fs::path(profile_root_) / "profile", ignored);
    fs::remove(fs::path(profile_root_) / kiosk_launch_page, ignored);
}

}  // namespace quizhost

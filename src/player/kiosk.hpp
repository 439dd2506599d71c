// The kiosk browser that the host starts on its own stage and keeps: restarted when it exits or when its
// page stops talking to the host, and given up on (the host then ends through its fatal path, so the
// service manager restarts the whole cabinet) when it dies too often. Portable: the processes come through
// the child_process seam, the time and the stage's state from the caller.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/child_process.hpp"

namespace quizhost {

// Five deaths within a minute are a browser that cannot run here, not bad luck.
inline constexpr int kiosk_death_limit = 5;
inline constexpr std::chrono::seconds kiosk_death_window{60};
// A stage whose connection closed gets this long to come back (a page reloading) before its browser counts
// as dead (its renderer crashed, the page hangs).
inline constexpr std::chrono::milliseconds kiosk_stage_grace{1000};
// A freshly started browser whose stage has not connected by then counts as dead.
inline constexpr std::chrono::seconds kiosk_first_connection_bound{30};

// The page, in the kiosk's private folder, that sends the browser on to the stage: the browser's command
// line names only this file, which no other user can open, never the link itself (every local user can
// read a running program's command line). Rewritten with a fresh link at every start of the browser.
inline constexpr const char* kiosk_launch_page = "stage-link.html";

// The file:// address of a local file, with every byte outside the plain ones percent-encoded
// ("/run/user/1000/a b.html" gives "file:///run/user/1000/a%20b.html"; "C:\x\y.html" gives
// "file:///C:/x/y.html").
std::string file_url(const std::string& path);

// The launch page's text: it sends the browser on to `url` at once, leaving no history entry behind.
std::string launch_page(const std::string& url);

// The screen the kiosk window must cover, in pixels.
struct kiosk_screen {
    int width = 0;
    int height = 0;
};

// Where the kiosk window goes and how big it is. With no window manager (a cabinet's bare X server) the
// browser's full-screen request is never granted, and Chromium's window is its default size at +10+10; it
// is placed with these, at every start, so the stage covers the whole screen at its own scale.
std::vector<std::string> kiosk_window_arguments(kiosk_screen screen);

// The browser's arguments after its program: kiosk mode at `url`, the profile folder, none of a desktop
// browser's interruptions, autoplay allowed; then `extra` (the operator's --browser-arg, which may
// override any of them).
std::vector<std::string> kiosk_browser_arguments(const std::string& program, const std::string& url,
                                                 const std::string& profile, const std::vector<std::string>& extra);

class kiosk_supervisor {
public:
    using time_point = std::chrono::steady_clock::time_point;
    struct hooks {
        // Starts a process (start_child_process in the program, a stand-in in tests).
        std::function<std::unique_ptr<child_process>(const process_launch&)> start;
        // The stage's one-time link, asked afresh for every start; handed to the browser through the launch
        // page, never on its command line.
        std::function<std::string()> url;
        // One line for the error log, per restart.
        std::function<void(const std::string&)> log;
        // The screen the window must cover, asked afresh for every start (the host may have switched the
        // mode since the last one); nothing leaves the window to the browser.
        std::function<std::optional<kiosk_screen>()> screen = {};
    };

    // `profile_root` is a private folder of the host's; each start gets a fresh profile inside it, so a
    // browser that was killed never comes back with its crash-restore bubble.
    kiosk_supervisor(std::string program, std::vector<std::string> extra_args, std::string profile_root, hooks h);
    ~kiosk_supervisor();  // ends the browser
    kiosk_supervisor(const kiosk_supervisor&) = delete;
    kiosk_supervisor& operator=(const kiosk_supervisor&) = delete;

    // The first start. Throws process_error when the browser cannot be started at all.
    void start(time_point now);
    // Looks at the browser and its stage; restarts a browser that has died. True when it restarted (or gave
    // up) at this look.
    bool check(time_point now, bool stage_connected);
    // Too many deaths: the browser is not restarted any more. why() says what happened.
    bool gave_up() const { return gave_up_; }
    const std::string& why() const { return why_; }
    int restarts() const { return restarts_; }
    long browser_id() const { return process_ ? process_->id() : -1; }
    // Ends the browser (and removes its profile).
    void end();

private:
    void launch(time_point now);
    void died(time_point now, const std::string& why);

    std::string program_;
    std::vector<std::string> extra_args_;
    std::string profile_root_;
    hooks hooks_;
    std::unique_ptr<child_process> process_;
    time_point started_at_{};
    bool seen_stage_ = false;
    std::optional<time_point> lost_since_;
    std::deque<time_point> deaths_;
    bool gave_up_ = false;
    std::string why_;
    int restarts_ = 0;
};

}  // namespace quizhost

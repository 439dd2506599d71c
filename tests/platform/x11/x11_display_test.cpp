// The X11 display against a real X server. Xvfb cannot change modes, so each test starts Xorg with the
// dummy video driver and a configuration offering 1024x768 (first) and 800x600, on a free display number.
// Where that server cannot run, the tests skip and print why.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef QUIZHOST_HAS_X11

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "forms/screen_stuff.hpp"
#include "platform/x11/x11_display.hpp"
#include "support/e2e.hpp"
#include "support/test_host.hpp"

// Last: Xlib's macros (Status, None, Bool) must not meet the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace quizhost {
namespace {

namespace fs = std::filesystem;
using testing::temp_folder;
using testing::test_host;

const char* const dummy_config = R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 16384
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
  Modeline "1024x768" 65.00 1024 1048 1184 1344 768 771 777 806 -hsync -vsync
  Modeline "800x600" 40.00 800 840 968 1056 600 601 605 628 +hsync +vsync
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "1024x768" "800x600"
    Virtual 1024 768
  EndSubSection
EndSection
)";

std::string file_tail(const fs::path& path, std::size_t lines) {
    std::ifstream in(path);
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);) all.push_back(line);
    std::string out;
    for (std::size_t i = all.size() > lines ? all.size() - lines : 0; i < all.size(); ++i) out += "  " + all[i] + "\n";
    return out;
}

std::string find_xorg() {
    for (const char* candidate : {"/usr/lib/xorg/Xorg", "/usr/bin/Xorg"}) {
        if (access(candidate, X_OK) == 0) return candidate;
    }
    return "";
}

// Runs a command with the shell and returns what it printed on standard output.
std::string output_of(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

// An Xorg server on the dummy driver, alive for one test.
class dummy_xorg {
public:
    // Empty when the server runs; otherwise why it cannot, with the evidence.
    std::string start() {
        const std::string xorg = find_xorg();
        if (xorg.empty()) return "Xorg is not installed (Debian package xserver-xorg-core)";
        if (!fs::exists("/usr/lib/xorg/modules/drivers/dummy_drv.so")) {
            return "the dummy video driver is not installed (Debian package xserver-xorg-video-dummy)";
        }
        const fs::path dir = folder_.path();
        std::ofstream(dir / "xorg.conf") << dummy_config;
        fs::create_directory(dir / "xorg.conf.d");
        std::ofstream(dir / "xorg.conf.d" / "none.conf") << "# the test's configuration is all in xorg.conf\n";

        // Display numbers from a random start, so tests running side by side rarely meet; a number that
        // another server holds makes Xorg stop at once and the next one is tried.
        std::mt19937 pick(std::random_device{}());
        int number = 40 + static_cast<int>(pick() % 400);
        std::string why;
        for (int attempt = 0; attempt < 8; ++attempt, ++number) {
            if (fs::exists("/tmp/.X" + std::to_string(number) + "-lock") ||
                fs::exists("/tmp/.X11-unix/X" + std::to_string(number))) {
                continue;
            }
            why = launch(xorg, number);
            if (why.empty()) return "";
        }
        return why;
    }

    ~dummy_xorg() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            for (int i = 0; i < 50 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (waitpid(pid_, &status, WNOHANG) == 0) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
            }
        }
    }

    const std::string& name() const { return name_; }

    // The current size of the screen and of the primary output, as xrandr reports them.
    std::string xrandr_size() const {
        const std::string report = output_of("xrandr --display " + name_ + " --current 2>&1");
        std::smatch found;
        if (std::regex_search(report, found, std::regex(R"(connected primary (\d+x\d+)\+)"))) return found[1];
        if (std::regex_search(report, found, std::regex(R"(connected (\d+x\d+)\+)"))) return found[1];
        return "(xrandr said: " + report.substr(0, 200) + ")";
    }

private:
    std::string launch(const std::string& xorg, int number) {
        const fs::path dir = folder_.path();
        name_ = ":" + std::to_string(number);
        const std::string config = (dir / "xorg.conf").string();
        const std::string config_dir = (dir / "xorg.conf.d").string();
        const std::string log = (dir / ("Xorg" + std::to_string(number) + ".log")).string();
        const std::string out = (dir / "Xorg.out").string();
        std::vector<std::string> args = {xorg,   name_,        "-noreset", "-nolisten", "tcp", "-config",
                                         config, "-configdir", config_dir, "-logfile",  log};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int failed = posix_spawn(&pid_, xorg.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0) {
            pid_ = -1;
            return "cannot start " + xorg + ": " + std::strerror(failed);
        }
        // Ready when xrandr can talk to it; gone when Xorg stopped, with its log as the evidence.
        for (int i = 0; i < 150; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return "Xorg " + name_ + " stopped at start (status " + std::to_string(status) + "):\n" +
                       file_tail(out, 15) + file_tail(log, 15);
            }
            if (output_of("xrandr --display " + name_ + " --current 2>/dev/null").find(" connected") !=
                std::string::npos) {
                return "";
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return "Xorg " + name_ + " did not answer within 15 seconds:\n" + file_tail(log, 15);
    }

    temp_folder folder_;
    pid_t pid_ = -1;
    std::string name_;
};

#define START_DUMMY_XORG(server)                                                                     \
    dummy_xorg server;                                                                               \
    if (const std::string why = server.start(); !why.empty()) {                                      \
        std::fprintf(stderr, "skipping: no X server with switchable modes here: %s\n", why.c_str()); \
        GTEST_SKIP() << why;                                                                         \
    }

TEST(X11Display, StartUpSwitchesTo800By600AndTheRestoreSwitchesBack) {
    START_DUMMY_XORG(server);
    ASSERT_EQ(server.xrandr_size(), "1024x768");

    test_host t;
    int reboots = 0;
    auto screen = make_x11_display({server.name(), [&] { ++reboots; }});
    t.host.io.screen = screen.get();

    EXPECT_EQ(get_screen_width(t.host), 1024);
    EXPECT_EQ(get_screen_height(t.host), 768);
    const auto first = screen->enumerate_mode(0);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->width, 1024);  // the first listed mode, not the current one, once switched below
    EXPECT_EQ(first->height, 768);

    set_resolution(t.host);
    EXPECT_TRUE(t.host.screen.resolution_changed);
    EXPECT_EQ(t.host.screen.saved_screen_width, 1024);
    EXPECT_EQ(t.host.screen.saved_screen_height, 768);
    EXPECT_EQ(server.xrandr_size(), "800x600");
    EXPECT_TRUE(is_800_by_600(t.host));
    EXPECT_EQ(screen->enumerate_mode(0)->width, 1024);

    EXPECT_TRUE(change_resolution(t.host, t.host.screen.saved_screen_width, t.host.screen.saved_screen_height));
    EXPECT_EQ(server.xrandr_size(), "1024x768");
    EXPECT_EQ(get_screen_width(t.host), 1024);
    EXPECT_EQ(reboots, 0);
    EXPECT_THAT(t.events.lines, ::testing::IsEmpty());  // a real display has no prompt to show
}

TEST(X11Display, SizesTheOutputDoesNotOfferAreRefusedAndChangeNothing) {
    START_DUMMY_XORG(server);
    auto screen = make_x11_display({server.name(), [] {}});
    const auto lasting = mode_lifetime::lasting;
    EXPECT_EQ(screen->change_mode({1000, 700}, lasting), mode_change::mode_not_offered);
    EXPECT_EQ(screen->change_mode({0, 0}, lasting), mode_change::mode_not_offered);
    EXPECT_EQ(screen->change_mode({-800, 600}, lasting), mode_change::mode_not_offered);
    EXPECT_EQ(server.xrandr_size(), "1024x768");
    EXPECT_FALSE(screen->enumerate_mode(1000).has_value());

    // Asking for the mode in force changes nothing and succeeds.
    EXPECT_EQ(screen->change_mode({1024, 768}, lasting), mode_change::changed);
    // Only the sizes given count: height alone keeps the width, and 1024x600 is not offered.
    EXPECT_EQ(screen->change_mode({std::nullopt, 600}, lasting), mode_change::mode_not_offered);
    EXPECT_EQ(server.xrandr_size(), "1024x768");
}

TEST(X11Display, RebootGoesToTheInjectedRequestOnly) {
    START_DUMMY_XORG(server);
    int reboots = 0;
    auto screen = make_x11_display({server.name(), [&] { ++reboots; }});
    screen->request_reboot();
    EXPECT_EQ(reboots, 1);
}

TEST(X11Display, UnreachableServerIsAClearError) {
    try {
        make_x11_display({":9987", [] {}});
        FAIL() << "opened a display nobody serves";
    } catch (const x11_unavailable& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("cannot open the X display :9987"));
    }
}

// quizhost --display x11 with a movie script: the script plays the movies, the real server changes mode.
TEST(X11Display, QuizhostSwitchesTheServerAtStartAndBackOnEveryWayOut) {
    START_DUMMY_XORG(server);
    testing::cabinet cab;
    cab.make_standard();
    const auto run = [&](const std::string& script) {
        return testing::run_program("/usr/bin/env",
                                    {"DISPLAY=" + server.name(), testing::bin_path("quizhost"), "--root", cab.root(),
                                     "--display", "x11", "--script", "-"},
                                    script);
    };
    const auto display_events = [](const testing::run_result& r) {
        return testing::lines_starting(r.transcript, "display");
    };

    // A script that runs out is no shutdown: the mode set at start is still in force afterwards.
    testing::run_result r = run("fs\tINTRO_END\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(display_events(r), ::testing::ElementsAre("display\t800x600\t0"));
    EXPECT_EQ(server.xrandr_size(), "800x600");

    // Already 800x600: nothing to do, nothing to restore.
    r = run("fs\tINTRO_END\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(display_events(r), ::testing::IsEmpty());
    EXPECT_EQ(server.xrandr_size(), "800x600");

    output_of("xrandr --display " + server.name() + " --output DUMMY0 --mode 1024x768");
    ASSERT_EQ(server.xrandr_size(), "1024x768");
    r = run("fs\tINTRO_END\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(display_events(r), ::testing::ElementsAre("display\t800x600\t0", "display\t1024x768\t0"));
    EXPECT_EQ(server.xrandr_size(), "1024x768");

    // ANSWERED takes numbers only: text there ends the program through the fatal error path.
    r = run("fs\tINTRO_END\nfs\tANSWERED\tnot,numbers\n");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_THAT(display_events(r), ::testing::ElementsAre("display\t800x600\t0", "display\t1024x768\t0"));
    EXPECT_EQ(server.xrandr_size(), "1024x768");

    // With a script, auto is the script's own display: the server is not touched.
    r = testing::run_program(
        "/usr/bin/env",
        {"DISPLAY=" + server.name(), testing::bin_path("quizhost"), "--root", cab.root(), "--script", "-"},
        "screen\t1280x1024\nfs\tINTRO_END\n");
    EXPECT_THAT(display_events(r), ::testing::ElementsAre("display\t800x600\t0"));
    EXPECT_EQ(server.xrandr_size(), "1024x768");
}

TEST(SystemReboot, WithoutTheOperatorsPermissionInTheEnvironmentNothingRestarts) {
    // The permission is withheld here; the call must then only say so (were it to reach systemctl, this
    // machine would restart, so the guard is what is under test).
    unsetenv("QUIZHOST_ALLOW_REBOOT");
    ::testing::internal::CaptureStderr();
    request_system_reboot();
    EXPECT_THAT(::testing::internal::GetCapturedStderr(), ::testing::HasSubstr("QUIZHOST_ALLOW_REBOOT is not 1"));
    setenv("QUIZHOST_ALLOW_REBOOT", "yes", 1);
    ::testing::internal::CaptureStderr();
    request_system_reboot();
    EXPECT_THAT(::testing::internal::GetCapturedStderr(), ::testing::HasSubstr("not restarting"));
    unsetenv("QUIZHOST_ALLOW_REBOOT");
}

// quizhost --kiosk on the real X server: it starts Debian's Chromium on its stage, the movies' commands
// arrive, the screen shows the game, a killed browser comes back by itself, and SIGTERM leaves no browser
// and the display as it was.
namespace kiosk {

// The game fills the screen with one colour the screenshot looks for, and says in the log that it runs.
const char* const game_movie = R"(<!doctype html>
<html><head><meta charset="utf-8"></head>
<body style="margin:0;width:100vw;height:100vh;background:#00c800">
<script src="/runtime/movie.js"></script>
<script>
  movie.set("content_version_no", "12");
  let logged = false;
  movie.onFrame(() => {
    if (logged) return;
    logged = true;
    movie.fscommand("TO_LOG", "kiosk game frame");
  });
</script></body></html>
)";
const char* const intro_movie = R"(<!doctype html>
<html><head><meta charset="utf-8"></head><body style="margin:0;background:#000">
<script src="/runtime/movie.js"></script>
<script>movie.onFrame((frame) => { if (frame === 2) movie.fscommand("INTRO_END"); });</script>
</body></html>
)";

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
    return n;
}

template <class Predicate>
bool eventually(Predicate done, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The colour at the middle of the X screen, as 0xRRGGBB: a screenshot of the server, not of the page.
unsigned long centre_pixel(const std::string& display_name) {
    Display* display = XOpenDisplay(display_name.c_str());
    if (display == nullptr) return 0xFFFFFFFF;
    const Window root = DefaultRootWindow(display);
    XWindowAttributes size;
    XGetWindowAttributes(display, root, &size);
    XImage* image = XGetImage(display, root, size.width / 2 - 5, size.height / 2 - 5, 10, 10, AllPlanes, ZPixmap);
    unsigned long pixel = 0xFFFFFFFF;
    if (image != nullptr) {
        pixel = XGetPixel(image, 5, 5) & 0xFFFFFF;
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return pixel;
}

bool looks_green(unsigned long pixel) {
    const unsigned long r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    return r < 40 && g > 160 && b < 40;
}

// Every process that carries `marker` in its environment: the browser and all its helpers inherit it.
std::vector<pid_t> processes_marked(const std::string& marker) {
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string environment = read_file(entry.path().string() + "/environ");
        if (environment.find(marker) == std::string::npos) continue;
        const std::string stat = read_file(entry.path().string() + "/stat");
        const auto close = stat.rfind(')');
        if (close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z') continue;
        found.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return found;
}

}  // namespace kiosk

TEST(KioskOnX11, ChromiumShowsTheGameComesBackAfterAKillAndEndsWithTheHost) {
    if (access("/usr/bin/chromium", X_OK) != 0) GTEST_SKIP() << "Debian's Chromium is not installed";
    START_DUMMY_XORG(server);
    testing::cabinet cab;
    cab.make_standard();
    cab.write("intro/index.html", kiosk::intro_movie);
    cab.write("flash_game/index.html", kiosk::game_movie);
    temp_folder scratch;
    const std::string out = scratch.path() + "/host.txt";
    const std::string log = cab.path("system/logs/log.txt");
    const std::string marker = "QUIZHOST_KIOSK_TEST=" + std::to_string(getpid()) + "-" + server.name();

    std::vector<std::string> args = {"/usr/bin/env", "DISPLAY=" + server.name(), "XDG_RUNTIME_DIR=" + scratch.path(),
                                     marker, testing::bin_path("quizhost"), "--root", cab.root(), "--http-port", "0",
                                     "--display", "x11", "--kiosk",
                                     // As root (in CI) Chromium runs only without its sandbox; the dummy
                                     // server has no GPU.
                                     "--browser-arg=--no-sandbox", "--browser-arg=--disable-gpu"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t host = -1;
    ASSERT_EQ(posix_spawn(&host, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Whatever fails below, the host and its browser go.
    struct ender {
        pid_t& pid;
        std::string marker;
        ~ender() {
            if (pid > 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
            for (const pid_t left : kiosk::processes_marked(marker)) kill(left, SIGKILL);
        }
    } end_all{host, marker};

    using std::chrono::seconds;
    // The movies' commands arrive: INTRO_END started the game, whose TO_LOG is in the error log.
    ASSERT_TRUE(
        kiosk::eventually([&] { return kiosk::count_of(kiosk::read_file(log), "kiosk game frame") == 1; }, seconds(60)))
        << kiosk::read_file(out) << kiosk::read_file(log);
    EXPECT_EQ(server.xrandr_size(), "800x600");
    EXPECT_TRUE(kiosk::eventually([&] { return kiosk::looks_green(kiosk::centre_pixel(server.name())); }, seconds(10)))
        << std::hex << kiosk::centre_pixel(server.name());

    // The browser killed outright: the host starts another, whose game loads afresh.
    std::smatch found;
    const std::string said = kiosk::read_file(out);
    ASSERT_TRUE(std::regex_search(said, found, std::regex(R"(kiosk browser \S+ \(process (\d+)\))"))) << said;
    const pid_t browser = static_cast<pid_t>(std::stol(found[1]));
    ASSERT_EQ(kill(browser, SIGKILL), 0);
    ASSERT_TRUE(
        kiosk::eventually([&] { return kiosk::count_of(kiosk::read_file(log), "kiosk game frame") == 2; }, seconds(60)))
        << kiosk::read_file(out) << kiosk::read_file(log);
    EXPECT_EQ(kiosk::count_of(kiosk::read_file(log), "KIOSK BROWSER RESTARTED (it ended, killed by signal 9)"), 1u)
        << kiosk::read_file(log);
    EXPECT_TRUE(kiosk::eventually([&] { return kiosk::looks_green(kiosk::centre_pixel(server.name())); }, seconds(10)))
        << std::hex << kiosk::centre_pixel(server.name());

    // SIGTERM: the host shuts down as after CLOSE_ALL, its browser with it, and the mode comes back.
    ASSERT_EQ(kill(host, SIGTERM), 0);
    int status = 0;
    ASSERT_TRUE(kiosk::eventually([&] { return waitpid(host, &status, WNOHANG) == host; }, seconds(20)));
    host = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status << kiosk::read_file(out);
    EXPECT_TRUE(kiosk::eventually([&] { return kiosk::processes_marked(marker).empty(); }, seconds(5)))
        << kiosk::processes_marked(marker).size() << " browser processes left";
    EXPECT_EQ(server.xrandr_size(), "1024x768");
    // The browser's profile was outside the cabinet, and is gone.
    for (const auto& entry : fs::directory_iterator(scratch.path())) {
        EXPECT_EQ(entry.path().filename().string().rfind("quizhost-kiosk", 0), std::string::npos) << entry.path();
    }
}

// Another local user attacks the kiosk while it plays: nobody reads every command line, environment and
// file it can reach, over and over, and tries every token it finds as a one-time link and as the stage's
// key, while 200 of its connections sit idle or trickle on the stage's port. The browser is killed midway,
// so a fresh link is handed over under the attacker's eyes. Nothing it tries is accepted, nothing of the
// cabinet changes, the restarted browser plays, and the kiosk restarts it only for the kill.
namespace kiosk {

// A program run as nobody, its output in a file, killed with the test.
class as_nobody {
public:
    as_nobody(std::vector<std::string> args, const std::string& out) {
        args.insert(args.begin(), {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~as_nobody() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    as_nobody(const as_nobody&) = delete;
    as_nobody& operator=(const as_nobody&) = delete;
    // Waits for it to end by itself; false when it has not within `bound`.
    bool wait(std::chrono::milliseconds bound) {
        return eventually(
            [&] { return pid_ <= 0 || waitpid(pid_, nullptr, WNOHANG) == pid_ ? (pid_ = -1, true) : false; }, bound);
    }

private:
    pid_t pid_ = -1;
};

// Every file of the cabinet but the error log, with its bytes.
std::map<std::string, std::string> cabinet_files(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        const std::string relative = fs::relative(entry.path(), root).string();
        if (relative != "system/logs/log.txt") files[relative] = read_file(entry.path().string());
    }
    return files;
}

}  // namespace kiosk

TEST(KioskOnX11, AnotherUserFindsNoSecretAndCannotStarveOrDriveTheStage) {
    if (access("/usr/bin/chromium", X_OK) != 0) GTEST_SKIP() << "Debian's Chromium is not installed";
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0 || access("/usr/bin/python3", X_OK) != 0) {
        GTEST_SKIP() << "needs root, setpriv and python3 to attack as another user";
    }
    START_DUMMY_XORG(server);
    testing::cabinet cab;
    cab.make_standard();
    cab.write("intro/index.html", kiosk::intro_movie);
    cab.write("flash_game/index.html", kiosk::game_movie);
    temp_folder scratch;
    // As open as /tmp and a cabinet folder are: the attacker may look around in both. What the host keeps
    // private inside them it makes 0700 itself.
    fs::permissions(scratch.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(cab.root(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    const std::string out = scratch.path() + "/host.txt";
    const std::string log = cab.path("system/logs/log.txt");
    const std::string marker = "QUIZHOST_KIOSK_TEST=" + std::to_string(getpid()) + "-attack-" + server.name();
    const int port = 20000 + static_cast<int>(getpid() % 20000);

    std::vector<std::string> args = {"/usr/bin/env",
                                     "DISPLAY=" + server.name(),
                                     "XDG_RUNTIME_DIR=" + scratch.path(),
                                     marker,
                                     testing::bin_path("quizhost"),
                                     "--root",
                                     cab.root(),
                                     "--http-port",
                                     std::to_string(port),
                                     "--display",
                                     "none",
                                     "--kiosk",
                                     "--browser-arg=--no-sandbox",
                                     "--browser-arg=--disable-gpu"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t host = -1;
    ASSERT_EQ(posix_spawn(&host, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    struct ender {
        pid_t& pid;
        std::string marker;
        ~ender() {
            if (pid > 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
            for (const pid_t left : kiosk::processes_marked(marker)) kill(left, SIGKILL);
        }
    } end_all{host, marker};
    using std::chrono::seconds;

    // The attack starts with the host, before its browser has followed its first link.
    const std::string support = std::string(QUIZHOST_SOURCE_DIR) + "/tests/support/";
    temp_folder attack;
    fs::permissions(attack.path(), fs::perms::all);
    const std::string harvest_out = attack.path() + "/harvest.json";
    kiosk::as_nobody harvester({"/usr/bin/python3", support + "token_harvest.py", std::to_string(port), "25", "/tmp",
                                scratch.path(), cab.root()},
                               harvest_out);
    kiosk::as_nobody flood({"/usr/bin/python3", support + "slot_flood.py", std::to_string(port), "200", "30"},
                           attack.path() + "/flood.txt");

    ASSERT_TRUE(
        kiosk::eventually([&] { return kiosk::count_of(kiosk::read_file(log), "kiosk game frame") == 1; }, seconds(60)))
        << kiosk::read_file(out) << kiosk::read_file(log);
    const auto files_before = kiosk::cabinet_files(cab.root());

    // A fresh link, handed over while the attacker watches and floods.
    std::smatch found;
    const std::string said = kiosk::read_file(out);
    ASSERT_TRUE(std::regex_search(said, found, std::regex(R"(kiosk browser \S+ \(process (\d+)\))"))) << said;
    ASSERT_EQ(kill(static_cast<pid_t>(std::stol(found[1])), SIGKILL), 0);
    ASSERT_TRUE(
        kiosk::eventually([&] { return kiosk::count_of(kiosk::read_file(log), "kiosk game frame") == 2; }, seconds(60)))
        << kiosk::read_file(out) << kiosk::read_file(log);
    EXPECT_TRUE(kiosk::eventually([&] { return kiosk::looks_green(kiosk::centre_pixel(server.name())); }, seconds(10)));

    ASSERT_TRUE(harvester.wait(seconds(60)));
    std::string report = kiosk::read_file(harvest_out);
    if (!report.empty() && report.back() == '\n') report.pop_back();
    EXPECT_THAT(report, ::testing::HasSubstr(R"("accepted": [])")) << report;
    std::smatch tried;
    ASSERT_TRUE(std::regex_search(report, tried, std::regex(R"("tokens_tried": (\d+))"))) << report;
    std::printf("[ figure   ] the attacker read %s; none of its tokens was accepted\n", report.c_str());
    // The stage came back under the flood, and only the kill restarted the browser.
    const std::string logged = kiosk::read_file(log);
    EXPECT_EQ(kiosk::count_of(logged, "KIOSK BROWSER RESTARTED"), 1u) << logged;
    EXPECT_EQ(kiosk::count_of(logged, "KIOSK BROWSER RESTARTED (it ended, killed by signal 9)"), 1u) << logged;
    // Each browser start used its own link once; no other client used one or connected as the stage.
    const std::string host_said = kiosk::read_file(out);
    EXPECT_EQ(kiosk::count_of(host_said, "stage link used"), 2u) << host_said;
    EXPECT_EQ(kiosk::count_of(host_said, "stage connected"), 2u) << host_said;
    EXPECT_EQ(host_said.find("#key="), std::string::npos);
    EXPECT_EQ(kiosk::cabinet_files(cab.root()), files_before);

    ASSERT_EQ(kill(host, SIGTERM), 0);
    int status = 0;
    ASSERT_TRUE(kiosk::eventually([&] { return waitpid(host, &status, WNOHANG) == host; }, seconds(20)));
    host = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status << kiosk::read_file(out);
    EXPECT_TRUE(kiosk::eventually([&] { return kiosk::processes_marked(marker).empty(); }, seconds(5)));
}

}  // namespace
}  // namespace quizhost

#else

TEST(X11Display, NotBuilt) { GTEST_SKIP() << "built without X11 and Xrandr (install libx11-dev and libxrandr-dev)"; }

#endif

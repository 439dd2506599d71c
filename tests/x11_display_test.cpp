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
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "forms/screen_stuff.hpp"
#include "platform/x11/x11_display.hpp"
#include "support/e2e.hpp"
#include "support/test_host.hpp"

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
    EXPECT_EQ(screen->change_mode({1000, 700, dm_pels_width | dm_pels_height}, cds_update_registry), -2);
    EXPECT_EQ(screen->change_mode({0, 0, dm_pels_width | dm_pels_height}, cds_update_registry), -2);
    EXPECT_EQ(screen->change_mode({-800, 600, dm_pels_width | dm_pels_height}, cds_update_registry), -2);
    EXPECT_EQ(server.xrandr_size(), "1024x768");
    EXPECT_FALSE(screen->enumerate_mode(1000).has_value());

    // Asking for the mode in force changes nothing and succeeds.
    EXPECT_EQ(screen->change_mode({1024, 768, dm_pels_width | dm_pels_height}, cds_update_registry), 0);
    // Only the selected members count: height alone keeps the width, and 1024x600 is not offered.
    EXPECT_EQ(screen->change_mode({800, 600, dm_pels_height}, cds_update_registry), -2);
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

}  // namespace
}  // namespace quizhost

#else

TEST(X11Display, NotBuilt) { GTEST_SKIP() << "built without X11 and Xrandr (install libx11-dev and libxrandr-dev)"; }

#endif

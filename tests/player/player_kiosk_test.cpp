// The kiosk supervisor with stand-in processes and a hand-moved clock: when it restarts, what it logs, and
// when it gives up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "player/kiosk.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct fake_process_state {
    std::optional<std::string> ended;
    bool ended_by_host = false;
};

class fake_process final : public child_process {
public:
    fake_process(std::shared_ptr<fake_process_state> state, long id) : state_(std::move(state)), id_(id) {}
    ~fake_process() override { end(); }
    std::optional<std::string> ended() override { return state_->ended; }
    void end() override {
        if (!state_->ended) state_->ended_by_host = true;
        if (!state_->ended) state_->ended = "ended by the host";
    }
    long id() const override { return id_; }

private:
    std::shared_ptr<fake_process_state> state_;
    long id_;
};

class KioskSupervisor : public ::testing::Test {
protected:
    kiosk_supervisor make(std::vector<std::string> extra = {}) {
        return kiosk_supervisor("/usr/bin/chromium", std::move(extra), folder.path(),
                                {[this](const process_launch& launch) -> std::unique_ptr<child_process> {
                                     if (refuse_starts > 0) {
                                         --refuse_starts;
                                         throw process_error("cannot start " + launch.program + ": No such file");
                                     }
                                     launches.push_back(launch);
                                     processes.push_back(std::make_shared<fake_process_state>());
                                     return std::make_unique<fake_process>(processes.back(),
                                                                           static_cast<long>(processes.size()));
                                 },
                                 [this] { return "http://127.0.0.1:7480/?start=" + std::to_string(++urls); },
                                 [this](const std::string& line) { log.push_back(line); }, [this] { return screen; }});
    }

    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    testing::temp_folder folder;
    std::vector<process_launch> launches;
    std::vector<std::shared_ptr<fake_process_state>> processes;
    std::vector<std::string> log;
    int refuse_starts = 0;
    int urls = 0;
    std::optional<kiosk_screen> screen;  // what the host's display measures; nothing: no display
    std::chrono::steady_clock::time_point t0 = std::chrono::steady_clock::now();
};

TEST_F(KioskSupervisor, StartsTheBrowserInKioskModeWithAFreshProfileAndTheOperatorsArgumentsLast) {
    auto kiosk = make({"--no-sandbox", "--disable-gpu"});
    kiosk.start(t0);
    ASSERT_EQ(launches.size(), 1u);
    const auto& args = launches[0].args;
    EXPECT_EQ(launches[0].program, "/usr/bin/chromium");
    EXPECT_EQ(args.front(), "--kiosk");
    // The link is in a page in the private folder; the command line names only the page.
    const std::string page = (std::filesystem::path(folder.path()) / kiosk_launch_page).string();
    EXPECT_EQ(args.back(), file_url(page));
    EXPECT_THAT(read(page), HasSubstr(R"(location.replace("http://127.0.0.1:7480/?start=1"))"));
    for (const auto& arg : args) EXPECT_THAT(arg, ::testing::Not(HasSubstr("start=1")));
    const std::string profile = (std::filesystem::path(folder.path()) / "profile").string();
    EXPECT_THAT(args, ::testing::Contains("--user-data-dir=" + profile));
    for (const char* wanted :
         {"--no-first-run", "--hide-crash-restore-bubble", "--disable-pinch", "--block-new-web-contents",
          "--autoplay-policy=no-user-gesture-required", "--password-store=basic", "--disable-component-update"}) {
        EXPECT_THAT(args, ::testing::Contains(std::string(wanted)));
    }
    // The operator's own come after ours, so they can override them.
    EXPECT_EQ(args[args.size() - 3], "--no-sandbox");
    EXPECT_EQ(args[args.size() - 2], "--disable-gpu");
    // The password manager and translation are off before the browser first reads its preferences.
    std::ifstream preferences(std::filesystem::path(profile) / "Default" / "Preferences");
    std::stringstream text;
    text << preferences.rdbuf();
    EXPECT_THAT(text.str(), HasSubstr(R"("credentials_enable_service":false)"));
    EXPECT_THAT(text.str(), HasSubstr(R"("translate":{"enabled":false})"));
    // Ending removes the profile and ends the browser.
    kiosk.end();
    EXPECT_TRUE(processes[0]->ended_by_host);
#ifndef _WIN32
    // Under wine the profile's removal is not yet seen at once (followed up on a Windows machine).
    EXPECT_FALSE(std::filesystem::exists(profile));
#endif
    EXPECT_TRUE(log.empty());
}

TEST(KioskLaunchPage, FileAddressesEncodeEveryByteButThePlainOnes) {
    EXPECT_EQ(file_url("/run/user/1000/quizhost-kiosk-1-a/stage-link.html"),
              "file:///run/user/1000/quizhost-kiosk-1-a/stage-link.html");
    EXPECT_EQ(file_url(R"(C:\Users\Jo Ann\AppData\Local\Temp\k\stage-link.html)"),
              "file:///C:/Users/Jo%20Ann/AppData/Local/Temp/k/stage-link.html");
    EXPECT_EQ(file_url("/tmp/a#b?c%d\"e"), "file:///tmp/a%23b%3Fc%25d%22e");
    EXPECT_EQ(file_url("/tmp/\xC3\xA9"), "file:///tmp/%C3%A9");
}

TEST_F(KioskSupervisor, EveryStartPlacesTheWindowOverTheScreenAsItIsThenBeforeTheOperatorsArguments) {
    screen = kiosk_screen{800, 600};
    auto kiosk = make({"--window-size=640,480"});
    kiosk.start(t0);
    // One hidden row above and one below: Chromium shrinks a window of the screen's exact size.
    EXPECT_THAT(launches[0].args,
                ::testing::IsSupersetOf({std::string("--window-position=0,-1"), std::string("--window-size=800,602")}));
    const auto& first = launches[0].args;
    const auto ours = std::find(first.begin(), first.end(), "--window-size=800,602");
    const auto operators = std::find(first.begin(), first.end(), "--window-size=640,480");
    EXPECT_LT(ours, operators);
    // The host switched to another mode (or the switch was refused): the next start covers that one.
    screen = kiosk_screen{1280, 1024};
    processes[0]->ended = "killed by signal 9";
    ASSERT_TRUE(kiosk.check(t0 + 1s, false));
    EXPECT_THAT(launches[1].args, ::testing::Contains(std::string("--window-size=1280,1026")));
    // A host that leaves the display alone leaves the window to the browser.
    screen.reset();
    processes[1]->ended = "killed by signal 9";
    ASSERT_TRUE(kiosk.check(t0 + 2s, false));
    EXPECT_THAT(launches[2].args, ::testing::Not(::testing::Contains(std::string("--window-position=0,-1"))));
}

TEST(KioskArguments, EdgeIsAskedForItsFullScreenKiosk) {
    const auto args = kiosk_browser_arguments(R"(C:\Program Files (x86)\Microsoft\Edge\Application\msedge.exe)",
                                              "http://127.0.0.1:7480/", "C:\\p", {});
    EXPECT_THAT(args, ::testing::Contains(std::string("--edge-kiosk-type=fullscreen")));
    EXPECT_THAT(kiosk_browser_arguments("/usr/bin/chromium", "u", "p", {}),
                ::testing::Not(::testing::Contains(std::string("--edge-kiosk-type=fullscreen"))));
}

TEST_F(KioskSupervisor, RestartsABrowserThatEndedWithOneLogLineAndAFreshAddress) {
    auto kiosk = make();
    kiosk.start(t0);
    EXPECT_FALSE(kiosk.check(t0 + 100ms, false));
    EXPECT_FALSE(kiosk.check(t0 + 2s, true));
    processes[0]->ended = "killed by signal 9";
    EXPECT_TRUE(kiosk.check(t0 + 2200ms, false));
    EXPECT_FALSE(kiosk.gave_up());
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_THAT(read(folder.path() + "/" + kiosk_launch_page), HasSubstr("http://127.0.0.1:7480/?start=2"));
    EXPECT_THAT(log, ElementsAre("KIOSK BROWSER RESTARTED (it ended, killed by signal 9)"));
    EXPECT_EQ(kiosk.restarts(), 1);
    // A clean exit (someone closed the window) is no different: the cabinet needs its browser.
    processes[1]->ended = "exit status 0";
    EXPECT_TRUE(kiosk.check(t0 + 3s, false));
    EXPECT_THAT(log.back(), "KIOSK BROWSER RESTARTED (it ended, exit status 0)");
}

TEST_F(KioskSupervisor, APageThatLosesTheHostIsGivenAMomentToComeBackThenItsBrowserIsRestarted) {
    auto kiosk = make();
    kiosk.start(t0);
    // Not connected yet: a starting browser is not a dead one.
    EXPECT_FALSE(kiosk.check(t0 + 5s, false));
    EXPECT_FALSE(kiosk.check(t0 + 6s, true));
    // A reload: gone, and back within the grace.
    EXPECT_FALSE(kiosk.check(t0 + 7s, false));
    EXPECT_FALSE(kiosk.check(t0 + 7s + kiosk_stage_grace - 1ms, false));
    EXPECT_FALSE(kiosk.check(t0 + 7s + kiosk_stage_grace, true));
    // A crashed renderer: the connection stays gone.
    EXPECT_FALSE(kiosk.check(t0 + 10s, false));
    EXPECT_TRUE(kiosk.check(t0 + 10s + kiosk_stage_grace, false));
    EXPECT_TRUE(processes[0]->ended_by_host);  // the hung browser is ended before the new one starts
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_THAT(log, ElementsAre("KIOSK BROWSER RESTARTED (its page lost the connection to the host)"));
}

TEST_F(KioskSupervisor, ABrowserWhosePageNeverConnectsCountsAsDead) {
    auto kiosk = make();
    kiosk.start(t0);
    EXPECT_FALSE(kiosk.check(t0 + kiosk_first_connection_bound - 1ms, false));
    EXPECT_TRUE(kiosk.check(t0 + kiosk_first_connection_bound, false));
    EXPECT_THAT(log, ElementsAre(HasSubstr("did not connect within 30 s")));
}

TEST_F(KioskSupervisor, GivesUpAtTheFifthDeathWithinAMinuteButNotWhenTheyAreSpreadOut) {
    auto kiosk = make();
    kiosk.start(t0);
    // Four deaths, then the first falls out of the minute: still going.
    for (int i = 0; i < 4; ++i) {
        processes.back()->ended = "killed by signal 11";
        ASSERT_TRUE(kiosk.check(t0 + std::chrono::seconds(10 * i), false));
    }
    processes.back()->ended = "killed by signal 11";
    ASSERT_TRUE(kiosk.check(t0 + 60s, false));
    EXPECT_FALSE(kiosk.gave_up());
    EXPECT_EQ(log.size(), 5u);
    // The fifth within a minute (10 s .. 60 s, then 61 s): no restart, no restart line, a reason.
    processes.back()->ended = "killed by signal 11";
    ASSERT_TRUE(kiosk.check(t0 + 61s, false));
    EXPECT_TRUE(kiosk.gave_up());
    EXPECT_EQ(log.size(), 5u);
    EXPECT_EQ(launches.size(), 6u);
    EXPECT_EQ(kiosk.why(), "KIOSK BROWSER DIED 5 TIMES WITHIN A MINUTE (last: it ended, killed by signal 11)");
    // Given up, it looks no more.
    EXPECT_FALSE(kiosk.check(t0 + 62s, false));
    EXPECT_EQ(launches.size(), 6u);
}

TEST_F(KioskSupervisor, ABrowserThatCannotBeStartedAgainCountsAsDyingUntilTheLimit) {
    auto kiosk = make();
    EXPECT_THROW(
        {
            refuse_starts = 1;
            kiosk.start(t0);
        },
        process_error);
    kiosk.start(t0);
    refuse_starts = 100;
    processes.back()->ended = "exit status 1";
    EXPECT_TRUE(kiosk.check(t0 + 1s, false));
    EXPECT_TRUE(kiosk.gave_up());
    EXPECT_THAT(kiosk.why(), HasSubstr("No such file"));
    // One line per attempted restart; the give-up is the caller's to log.
    EXPECT_EQ(log.size(), 4u);
}

}  // namespace
}  // namespace quizhost

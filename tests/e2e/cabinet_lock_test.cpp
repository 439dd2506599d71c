// One host per cabinet folder: the folder lock itself, and whole quizhost processes meeting it. A second
// host ends at once with its own status and leaves every byte of the folder as it was; the first goes
// on; a killed host leaves no lock behind; hosts on two folders run side by side.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "definitions.hpp"
#include "platform/folder_lock.hpp"
#include "support/e2e.hpp"
#include "support/faulty_credit_service.hpp"

namespace quizhost::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using lines = std::vector<std::string>;
using namespace std::chrono_literals;
using service = faulty_credit_service;
namespace fs = std::filesystem;

int error_of(auto&& action) {
    try {
        action();
    } catch (const run_time_error& e) {
        return e.number();
    }
    return 0;
}

std::string this_process() {
#ifdef _WIN32
    return "process " + std::to_string(::GetCurrentProcessId());
#else
    return "process " + std::to_string(::getpid());
#endif
}

// --- the lock ----------------------------------------------------------------------------------------

TEST(FolderLock, OneHolderAtATimeByAnyPathUntilItLetsGo) {
    temp_folder cabinet;
    temp_folder elsewhere;
    fs::create_directories(cabinet.path() + "/system");
    std::string holder = "stale";
    auto first = try_lock_folder(cabinet.path(), holder);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(holder, "");

    std::vector<std::string> other_paths{cabinet.path() + "/system/..", cabinet.path() + "/"};
#ifdef _WIN32
    std::string shouted = cabinet.path();
    for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    other_paths.push_back(shouted);
    other_paths.push_back(cabinet.path() + "\\system\\..");
#else
    fs::create_directory_symlink(cabinet.path(), elsewhere.path() + "/link");
    other_paths.push_back(elsewhere.path() + "/link");
#endif
    for (const std::string& path : other_paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(try_lock_folder(path, holder), nullptr);
        // The holder is named where the system can tell; here it is this very process.
#if defined(_WIN32) || defined(__linux__)
        EXPECT_EQ(holder, this_process());
#endif
    }
    // Another folder is another lock, and a folder inside the cabinet is not the cabinet.
    EXPECT_NE(try_lock_folder(elsewhere.path(), holder), nullptr);
    EXPECT_NE(try_lock_folder(cabinet.path() + "/system", holder), nullptr);

    first.reset();
    EXPECT_NE(try_lock_folder(other_paths.back(), holder), nullptr);
    EXPECT_EQ(fs::directory_entry(cabinet.path() + "/system").is_directory(), true);
    EXPECT_EQ(std::distance(fs::directory_iterator(cabinet.path()), fs::directory_iterator()), 1);  // nothing new
}

TEST(FolderLock, AFolderThatIsNotThereOrIsAFileIsAPathError) {
    temp_folder cabinet;
    std::string holder;
    EXPECT_EQ(error_of([&] { try_lock_folder(cabinet.path() + "/missing", holder); }), path_not_found);
    std::filesystem::path file = cabinet.path() + "/file.txt";
    { std::ofstream(file) << "x"; }
    EXPECT_EQ(error_of([&] { try_lock_folder(file.string(), holder); }), path_not_found);
}

// --- quizhost processes on one folder ------------------------------------------------------------------

// Every entry below a folder with its bytes and modification time: what "nothing touched" compares.
std::map<std::string, std::string> snapshot(const std::string& root) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).generic_string();
        std::string what = std::to_string(entry.last_write_time().time_since_epoch().count());
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            what += ":" + std::string(std::istreambuf_iterator<char>(in), {});
        }
        entries[name] = what;
    }
    return entries;
}

class cabinet_lock : public ::testing::Test {
protected:
    void SetUp() override {
        for (const cabinet* cab : {&first_cab, &second_cab}) {
            cab->make_standard();
            cab->write("system/setup.ini", "S1,40\r\nS2,50\r\n");
            cab->write("flg_meridian.dat", "");
        }
        peer.on("GAME_EXIT", service::answer("OK BYE\r\n"));
    }
    // A host started in the background on `root` that asks for the credit once and closes.
    std::unique_ptr<background_program> start_host(const std::string& root) {
        const std::string script = scripts.path() + "/host" + std::to_string(++started) + ".script";
        { std::ofstream(script, std::ios::binary) << "fs\tINTRO_END\nfs\tGET_CREDIT\nfs\tCLOSE_ALL\n"; }
        return std::make_unique<background_program>(
            bin_path("quizhost"),
            std::vector<std::string>{"--root", root, "--script", script, "--credit-port", std::to_string(peer.port())});
    }
    // Waits until the service has been asked for the credit `count` times in all.
    bool credit_asked(std::size_t count) {
        for (auto waited = 0ms; waited < 20s; waited += 20ms) {
            std::size_t asked = 0;
            for (const std::string& request : peer.requests()) asked += request == "GET_CREDIT \r\n";
            if (asked >= count) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    run_result run_on(const std::string& root, const std::string& script) {
        const std::string path = scripts.path() + "/direct.script";
        { std::ofstream(path, std::ios::binary) << script; }
        return run_program(bin_path("quizhost"),
                           {"--root", root, "--script", path, "--credit-port", std::to_string(peer.port())});
    }

    cabinet first_cab;
    cabinet second_cab;
    temp_folder scripts;
    int started = 0;
    service peer;
};

TEST_F(cabinet_lock, ASecondHostOnABusyFolderEndsAtOnceAndTouchesNothing) {
    peer.on("GET_CREDIT", service::late(3s, "CREDIT 150\r\n"));
    auto first = start_host(first_cab.root());
    ASSERT_TRUE(credit_asked(1)) << first->wait().err;

    const auto before = snapshot(first_cab.root());
    std::vector<std::string> other_paths{first_cab.root() + "/variable/.."};
#ifndef _WIN32
    const std::string link = scripts.path() + "/cabinet-link";
    fs::create_directory_symlink(first_cab.root(), link);
    other_paths.push_back(link);
#else
    std::string shouted = first_cab.root();
    for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    other_paths.push_back(shouted);
#endif
    for (const std::string& path : other_paths) {
        SCOPED_TRACE(path);
        const run_result second = run_on(path, "fs\tINTRO_END\nfs\tUPDATE_METERS\t1,100,0,0\nfs\tCLOSE_ALL\n");
        EXPECT_EQ(second.status, exit_cabinet_busy) << second.err;
        EXPECT_EQ(second.out, "");  // not even the intro's first step
        EXPECT_THAT(second.err, StartsWith("quizhost: the cabinet folder " + path + " is in use by another quizhost"));
#if defined(_WIN32) || defined(__linux__)
        EXPECT_THAT(second.err, HasSubstr("(process "));
#endif
        EXPECT_EQ(snapshot(first_cab.root()), before);
    }
    // The read-only tools take no lock.
    const run_result report = run_program(bin_path("quizhost"), {"meters", "--root", first_cab.root()});
    EXPECT_EQ(report.status, 0) << report.err;

    const run_result done = first->wait();
    EXPECT_EQ(done.status, exit_closed) << done.err;
    EXPECT_TRUE(in_order(done.transcript, {"set\tvb_credit\t150", "credit\tsocket\tGAME_EXIT \tOK BYE", "exit\t0"}));
    // Only the first host's one request of each kind reached the service.
    EXPECT_EQ(peer.requests(), (lines{"GET_CREDIT \r\n", "GAME_EXIT \r\n"}));
}

TEST_F(cabinet_lock, AKilledHostLeavesNoLockBehind) {
    peer.on("GET_CREDIT", service::late(30s, "CREDIT 150\r\n"));
    auto first = start_host(first_cab.root());
    ASSERT_TRUE(credit_asked(1)) << first->wait().err;
    first->kill();
    EXPECT_EQ(first->wait().status, 128 + 9);

    peer.on("GET_CREDIT", service::answer("CREDIT 70\r\n"));
    const run_result next = run_on(first_cab.root(), "fs\tINTRO_END\nfs\tGET_CREDIT\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(next.status, exit_closed) << next.err;
    EXPECT_TRUE(in_order(next.transcript, {"set\tvb_credit\t70", "exit\t0"}));
}

TEST_F(cabinet_lock, HostsOnTwoFoldersRunSideBySide) {
    peer.on("GET_CREDIT", service::late(1s, "CREDIT 150\r\n"));
    auto first = start_host(first_cab.root());
    auto second = start_host(second_cab.root());
    // Both are inside their credit call at once.
    EXPECT_TRUE(credit_asked(2));
    for (auto* host : {first.get(), second.get()}) {
        const run_result done = host->wait();
        EXPECT_EQ(done.status, exit_closed) << done.err;
        EXPECT_TRUE(in_order(done.transcript, {"set\tvb_credit\t150", "exit\t0"}));
    }
}

}  // namespace
}  // namespace quizhost::testing

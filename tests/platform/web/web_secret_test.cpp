// The pieces of the stage's secret that need no socket: the secret itself, its comparison and where a
// request carries it, and the private files and random bytes of the platform it rests on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/private_files.hpp"
#include "platform/web/bridge_messages.hpp"
#include "support/test_host.hpp"

namespace quizhost::web {
namespace {

namespace fs = std::filesystem;

TEST(StageSecret, IsSixtyFourHexDigitsAndNewEachTime) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string secret = new_secret();
        ASSERT_EQ(secret.size(), 64u);
        EXPECT_TRUE(std::all_of(secret.begin(), secret.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        })) << secret;
        seen.insert(secret);
    }
    EXPECT_EQ(seen.size(), 100u);
}

TEST(StageSecret, MatchesOnlyItselfWholly) {
    const std::string secret = new_secret();
    EXPECT_TRUE(same_secret(secret, secret));
    std::string first = secret;
    first.front() = first.front() == 'a' ? 'b' : 'a';
    std::string last = secret;
    last.back() = last.back() == 'a' ? 'b' : 'a';
    for (const std::string& other : {first, last, secret.substr(0, 63), secret + "0", std::string{}, new_secret()}) {
        EXPECT_FALSE(same_secret(other, secret)) << other;
    }
    // No secret is no secret to match, not one that the empty text matches.
    EXPECT_FALSE(same_secret("", ""));
}

TEST(StageSecret, IsReadFromTheQueryOfTheBridgesTarget) {
    EXPECT_EQ(target_path("/bridge?key=abc"), "/bridge");
    EXPECT_EQ(target_path("/bridge"), "/bridge");
    EXPECT_EQ(query_field("/bridge?key=abc", "key"), "abc");
    EXPECT_EQ(query_field("/bridge?x=1&key=abc&key=def", "key"), "abc");
    EXPECT_EQ(query_field("/bridge?key=", "key"), "");
    EXPECT_EQ(query_field("/bridge?key", "key"), "");
    EXPECT_EQ(query_field("/bridge?key=abc#frag", "key"), "abc");
    EXPECT_FALSE(query_field("/bridge", "key"));
    EXPECT_FALSE(query_field("/bridge?", "key"));
    EXPECT_FALSE(query_field("/bridge?keys=abc&akey=abc&KEY=abc", "key"));
}

TEST(SystemRandom, FillsEveryByteAndNeverRepeats) {
    std::vector<unsigned char> a(4096), b(4096);
    fill_system_random(a.data(), a.size());
    fill_system_random(b.data(), b.size());
    EXPECT_NE(a, b);
    // Each byte value turns up in 4096 random bytes (a stuck or half-filled buffer would not).
    EXPECT_EQ(std::set<unsigned char>(a.begin(), a.end()).size(), 256u);
    fill_system_random(nullptr, 0);
}

#ifndef _WIN32
// Points the variables private_folder reads at a test's own folders, and puts them back afterwards.
class PrivateFolder : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"XDG_RUNTIME_DIR", "XDG_STATE_HOME", "HOME"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    static unsigned mode_of(const std::string& path) {
        struct stat info {};
        ::lstat(path.c_str(), &info);
        return info.st_mode & 07777;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    quizhost::testing::temp_folder folder;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(PrivateFolder, IsTheRunTimeFolderElseTheStateFolderElseUnderHome) {
    const std::string base = folder.path();
    ::setenv("HOME", (base + "/home").c_str(), 1);
    fs::create_directories(base + "/home");
    EXPECT_EQ(private_folder(), base + "/home/.local/state/quizhost");
    EXPECT_EQ(mode_of(base + "/home/.local/state/quizhost"), 0700u);

    fs::create_directories(base + "/state");
    ::setenv("XDG_STATE_HOME", (base + "/state").c_str(), 1);
    EXPECT_EQ(private_folder(), base + "/state/quizhost");

    fs::create_directories(base + "/run");
    ::setenv("XDG_RUNTIME_DIR", (base + "/run").c_str(), 1);
    EXPECT_EQ(private_folder(), base + "/run/quizhost");
    EXPECT_EQ(mode_of(base + "/run/quizhost"), 0700u);
}

TEST_F(PrivateFolder, IsClosedToOthersAndNeverALink) {
    const std::string base = folder.path();
    ::setenv("XDG_RUNTIME_DIR", base.c_str(), 1);
    fs::create_directories(base + "/quizhost");
    ::chmod((base + "/quizhost").c_str(), 0777);
    EXPECT_EQ(private_folder(), base + "/quizhost");
    EXPECT_EQ(mode_of(base + "/quizhost"), 0700u);

    fs::remove(base + "/quizhost");
    fs::create_directories(base + "/elsewhere");
    fs::create_directory_symlink(base + "/elsewhere", base + "/quizhost");
    EXPECT_THROW(private_folder(), private_files_error);

    ::setenv("XDG_RUNTIME_DIR", "relative/run", 1);
    EXPECT_THROW(private_folder(), private_files_error);  // no HOME either
}

TEST_F(PrivateFolder, FilesAreWrittenWholeForTheirUserOnly) {
    const std::string path = folder.path() + "/stage.url";
    write_private_file(path, "first\n");
    EXPECT_EQ(read(path), "first\n");
    EXPECT_EQ(mode_of(path), 0600u);
    ::chmod(path.c_str(), 0644);
    write_private_file(path, "second\n");
    EXPECT_EQ(read(path), "second\n");
    EXPECT_EQ(mode_of(path), 0600u);
    EXPECT_FALSE(fs::exists(path + ".new"));
    EXPECT_THROW(write_private_file(folder.path() + "/missing/stage.url", "x"), private_files_error);
}
#else
TEST(PrivateFolder, IsUnderLocalApplicationDataAndFilesAreReplacedWhole) {
    const quizhost::testing::temp_folder folder;
    const char* saved = std::getenv("LOCALAPPDATA");
    const std::string restore = saved ? saved : "";
    ::_putenv_s("LOCALAPPDATA", folder.path().c_str());
    const std::string made = private_folder();
    EXPECT_EQ(made, folder.path() + "\\quizhost");
    EXPECT_TRUE(fs::is_directory(made));
    const std::string path = made + "\\stage.url";
    write_private_file(path, "first\n");
    write_private_file(path, "second\n");
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "second\n");
    EXPECT_FALSE(fs::exists(path + ".new"));
    ::_putenv_s("LOCALAPPDATA", restore.c_str());
}
#endif

}  // namespace
}  // namespace quizhost::web

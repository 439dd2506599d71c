// The operator's preflight: a healthy copy of the demo cabinet checks clean, each fault planted alone is
// named with its file and what to do, nothing in the folder changes, and `quizhost check` exits 0, 1 or 2.
#include "forms/cabinet_check.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "content/encryption.hpp"
#include "platform/client_shell.hpp"
#include "platform/file_system.hpp"
#include "platform/folder_lock.hpp"
#include "platform/loopback_socket.hpp"
#include "platform/paths.hpp"
#include "platform/write_access.hpp"
#include "support/e2e.hpp"
#include "support/faulty_credit_service.hpp"
#include "support/meters_support.hpp"
#include "swf/swf_file.hpp"
#include "swf/swf_source.hpp"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quizhost::testing {
namespace {

namespace fs = std::filesystem;
using level = content_finding::level;
using ::testing::HasSubstr;

#ifdef _WIN32
constexpr const char* tccomm_file = "tccomm.dll";
#else
constexpr const char* tccomm_file = "libtccomm.so";
#endif

// A Flash movie assembled from its text form (swf/swf_source.hpp), with `movie` options of its own.
std::string flash_movie(const std::string& body, const std::string& packing = "fws",
                        const std::string& movie = "version=6") {
    const auto bytes = swf::write_movie(swf::assemble("movie " + movie + " compress=" + packing + "\n" + body));
    return {bytes.begin(), bytes.end()};
}

std::string rendered(const content_findings& findings) {
    std::string text;
    for (const auto& f : findings.list) text += format_finding(f) + "\n";
    return text;
}

// The one finding of `kind` about a file ending in `file_end` whose message holds `words`.
bool has(const content_findings& findings, level kind, const std::string& file_end, const std::string& words) {
    return std::any_of(findings.list.begin(), findings.list.end(), [&](const content_finding& f) {
        return f.kind == kind && f.file.ends_with(file_end) && f.message.find(words) != std::string::npos;
    });
}

// Every path below `root` with its size and time of change: what a check must leave as it found it.
std::map<std::string, std::string> snapshot(const std::string& root) {
    std::map<std::string, std::string> seen;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::error_code ignored;
        const auto size = entry.is_regular_file() ? entry.file_size() : 0;
        seen[entry.path().string()] =
            std::to_string(size) + " " +
            std::to_string(fs::last_write_time(entry.path(), ignored).time_since_epoch().count());
    }
    return seen;
}

// Paths reported as not writable, as a read-only folder or file would be; the rest asks the system.
struct read_only_paths {
    std::vector<std::string> denied;
    void deny(const std::string& path) { denied.push_back(path); }
    bool operator()(const std::string& path) const {
        return std::find(denied.begin(), denied.end(), path) == denied.end() && may_write(path);
    }
};

// The meter file a host makes with the default tables.
std::string sound_meter_file() {
    meter_host made;
    return lines_to_bytes(new_meter_file_lines(made.host));
}

// A copy of the demo cabinet that has run once: its movies and data, setup.ini, the log, the meter file,
// the high-score table and the stand-in credit library beside it.
class cabinet_check_test : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(std::string(QUIZHOST_SOURCE_DIR) + "/demo/cabinet", cab.root(), fs::copy_options::recursive);
        cab.write("system/setup.ini", "S1,40\r\nS2,50\r\n");
        cab.write("system/logs/log.txt", "<ERROR LOG>\r\nCreated on 01/12/2026 at 09:00:00\r\n\r\n");
        cab.write("system/logs/meter.txt", sound_meter_file());
        cab.write("variable/highscores.txt", "Score,1,,,09:00 01/12/2026,AAA,1234,0\r\n");
        cab.write("credit_state.txt", "credit,500\r\nbank,0\r\n");
        install(tccomm_file);
    }

    void install(const std::string& library, const std::string& as = {}) const {
        fs::copy_file(bin_path(library), cab.path(as.empty() ? library : as), fs::copy_options::overwrite_existing);
    }

    content_findings check(const read_only_paths& writable = {}) const {
        const auto shell = make_native_client_shell(root());
        cabinet_check_options options;
        options.program_folder = root();
        options.credit_port = credit_port;
        options.http_port = 0;
        cabinet_check_seams seams{*native};
        seams.writable = writable;
        seams.shell = shell.get();
        return check_cabinet(seams, options);
    }

    std::string root() const { return native_path(cab.root(), ""); }
    std::string at(const std::string& relative) const { return native_path(cab.root(), "/" + relative); }

    cabinet cab;
    std::unique_ptr<file_system> native = make_native_file_system();
    int credit_port = default_credit_port;
};

TEST_F(cabinet_check_test, AHealthyCabinetChecksCleanAndNothingInItChanges) {
    const auto before = snapshot(cab.root());
    const content_findings f = check();
    EXPECT_EQ(f.status(), 0) << rendered(f);
    // What the operator still learns: the channel that answers, and every question file with its lines.
    EXPECT_TRUE(has(f, level::note, "", "the credit library loads")) << rendered(f);
    EXPECT_TRUE(has(f, level::note, "data_1_1.dat", "question lines (difficulty 1, set 1)")) << rendered(f);
    EXPECT_EQ(snapshot(cab.root()), before);
}

TEST_F(cabinet_check_test, MissingMoviesAndDataAreErrorsNamingWhatToPutWhere) {
    fs::remove_all(cab.path("flash_game"));
    fs::remove(cab.path("data/data_2_1.dat"));
    const content_findings f = check();
    EXPECT_EQ(f.status(), 2);
    EXPECT_TRUE(has(f, level::error, "flash_game.swf", "the game movie is needed, as the HTML5 folder")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "data_2_1.dat", "missing: the tables can draw difficulty 2")) << rendered(f);

    fs::remove_all(cab.path("data"));
    EXPECT_TRUE(has(check(), level::error, "data", "the host does not create it"));
}

TEST_F(cabinet_check_test, AGameMovieThatNeverSetsItsContentVersionIsAWarning) {
    const std::string version_line = "movie.set(\"content_version_no\", \"1\");";
    const auto page = [&] {
        std::ifstream in(cab.path("flash_game/index.html"), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::string html = page();
    ASSERT_NE(html.find(version_line), std::string::npos);
    html.replace(html.find(version_line), version_line.size(), "");
    cab.write("flash_game/index.html", html);
    content_findings f = check();
    EXPECT_EQ(f.status(), 1) << rendered(f);
    EXPECT_TRUE(has(f, level::warning, "index.html", "never sets content_version_no")) << rendered(f);

    // Set in a script the page loads from its folder, it is found there.
    cab.write("flash_game/game.mjs", "movie.set(\"content_version_no\", \"2\");\n");
    EXPECT_EQ(check().status(), 0) << rendered(check());
}

TEST_F(cabinet_check_test, AMovieFolderWithoutItsPageIsAnErrorAndASwfFileIsEnough) {
    fs::remove(cab.path("intro/index.html"));
    EXPECT_TRUE(has(check(), level::error, "index.html", "needs its index.html"));
    fs::remove_all(cab.path("intro"));
    cab.write("intro.swf", flash_movie("actions\n  fscommand \"INTRO_END\" \"\"\nend\nframe\n"));
    EXPECT_EQ(check().status(), 0) << rendered(check());
}

TEST_F(cabinet_check_test, FlashMoviesAreReadForWhatTheyAskOfTheHost) {
    // A build without zlib or LZMA (the Windows cross build) reads uncompressed movies only.
    const bool zlib = swf::can_read(swf::compression::zlib);
    const bool lzma = swf::can_read(swf::compression::lzma);
    fs::remove_all(cab.path("intro"));
    fs::remove_all(cab.path("flash_game"));
    cab.write("intro.swf", flash_movie("actions\n  fscommand \"INTRO_END\" \"\"\nend\nframe\n", zlib ? "cws" : "fws"));
    cab.write("flash_game.swf", flash_movie(R"(
sprite 5
actions
  pool "FSCommand:GET_CREDIT" "vb_credit"
  push c0 ""
  geturl2 0
end
frame
endsprite
rect 6 10 10 FF0000
button 7 6
on press
  fscommand "GET_BANKK" ""
end
place 5 1 name=clip
on enterFrame
  fscommand "USE_CREDIT" ""
end
initactions 5
  push "vb_question"
  getvariable
  pop
end
frame
)",
                                            lzma ? "zws" : "fws"));
    const content_findings f = check();
    EXPECT_EQ(f.status(), 1) << rendered(f);
    EXPECT_TRUE(has(f, level::note, "intro.swf",
                    zlib ? "Flash version 6, zlib (CWS), AVM1, stage 800 x 600 at 30" : "Flash version 6, "))
        << rendered(f);
    EXPECT_TRUE(has(f, level::note, "flash_game.swf", "raises GET_CREDIT, USE_CREDIT")) << rendered(f);
    EXPECT_TRUE(has(f, level::warning, "flash_game.swf",
                    "raises \"GET_BANKK\" (button actions), which no command answers; did you mean \"GET_BANK\"?"))
        << rendered(f);
    EXPECT_TRUE(has(f, level::note, "flash_game.swf", "reads the answer variables vb_credit, vb_question"))
        << rendered(f);

    // An intro that never says it is over, a game of ActionScript 3, and a file that is no movie at all.
    cab.write("intro.swf", flash_movie("frame\n"));
    cab.write("flash_game.swf", flash_movie("abc\nframe\n", "fws", "version=9 as3"));
    content_findings g = check();
    EXPECT_TRUE(has(g, level::warning, "intro.swf", "raises no \"INTRO_END\"")) << rendered(g);
    EXPECT_TRUE(has(g, level::error, "flash_game.swf", "ActionScript 3 (AVM2)")) << rendered(g);
    cab.write("flash_game.swf", "GIF89a");
    EXPECT_TRUE(has(check(), level::error, "flash_game.swf", "not a Flash movie (it does not start with FWS"));
}

TEST_F(cabinet_check_test, ADamagedOrTruncatedFlashMovieIsAnErrorNamingIt) {
    fs::remove_all(cab.path("flash_game"));
    for (const char* packing : {"fws", "cws", "zws"}) {
        const auto stored = packing[0] == 'c'   ? swf::compression::zlib
                            : packing[0] == 'z' ? swf::compression::lzma
                                                : swf::compression::none;
        if (!swf::can_read(stored)) continue;  // a build without zlib or LZMA (the Windows cross build)
        const std::string whole = flash_movie("actions\n  fscommand \"GET_CREDIT\" \"\"\nend\nframe\n", packing);
        for (const std::size_t keep : {whole.size() - 10, whole.size() / 2, std::size_t{9}}) {
            cab.write("flash_game.swf", whole.substr(0, keep));
            const content_findings f = check();
            EXPECT_TRUE(has(f, level::error, "flash_game.swf", "not a Flash movie the host can play"))
                << packing << " cut to " << keep << ":\n"
                << rendered(f);
        }
    }
}

TEST_F(cabinet_check_test, AQuestionFileThatDoesNotDecipherIsAnErrorWithItsLine) {
    cab.write("data/data_1_2.dat", encrypt_string("a good question~1~2~3~4~1", question_key) + "\r\n\x01\x02\r\n");
    const content_findings f = check();
    EXPECT_TRUE(has(f, level::error, "data_1_2.dat", "deciphers to the empty text")) << rendered(f);
    EXPECT_TRUE(has(f, level::note, "data_1_2.dat", "2 question lines")) << rendered(f);
}

TEST_F(cabinet_check_test, FoldersAndFilesTheHostWritesMustBeWritable) {
#ifdef _WIN32
    GTEST_SKIP() << "the planted denials are POSIX permissions; the Windows access check is not planted yet";
#endif
    read_only_paths files;
    files.deny(at("system/logs/"));
    files.deny(at("variable/highscores.txt"));
    const content_findings f = check(files);
    EXPECT_EQ(f.status(), 2);
    EXPECT_TRUE(has(f, level::error, "logs/", "not writable by this user: the log, the meter file")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "highscores.txt", "make it writable for the user that runs quizhost"));
}

TEST_F(cabinet_check_test, AMissingFolderNeedsAParentTheHostCanCreateItIn) {
    fs::remove_all(cab.path("variable"));
    read_only_paths files;
    files.deny(root());
    const content_findings f = check(files);
    EXPECT_TRUE(has(f, level::warning, "variable", "the host creates it at start")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "", "so the host cannot create " + at("variable"))) << rendered(f);
    EXPECT_FALSE(fs::exists(cab.path("variable")));
}

#ifndef _WIN32
TEST_F(cabinet_check_test, WritabilityComesFromTheSystemsPermissions) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere: permissions cannot be planted";
    fs::permissions(cab.path("system/logs"), fs::perms::owner_write, fs::perm_options::remove);
    const content_findings f = check();
    fs::permissions(cab.path("system/logs"), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_TRUE(has(f, level::error, "logs/", "not writable")) << rendered(f);
}
#endif

TEST_F(cabinet_check_test, SetupValuesOutOfBoundsOrNotNumbersSayWhatTheHostUses) {
    cab.write("system/setup.ini", "S1,500\r\nS2,abc\r\n");
    content_findings f = check();
    EXPECT_EQ(f.status(), 1);
    EXPECT_TRUE(has(f, level::warning, "setup.ini", "S1,500 is out of bounds: the host uses 70")) << rendered(f);
    EXPECT_TRUE(has(f, level::warning, "setup.ini", "S2,abc is not a number: the host reads 0 and uses 50"));

    // A number with trailing text is read, and still named: the operator meant something else.
    cab.write("system/setup.ini", "S1,35%\r\nS2,2.5\r\n");
    f = check();
    EXPECT_TRUE(has(f, level::warning, "setup.ini", "S1,35% is not a number: the host reads 35, and uses it"));
    EXPECT_FALSE(has(f, level::warning, "setup.ini", "S2")) << rendered(f);

    cab.write("system/setup.ini", "garbage\r\n");
    f = check();
    EXPECT_TRUE(has(f, level::warning, "setup.ini", "no value for S1: the host uses 70")) << rendered(f);
    EXPECT_TRUE(has(f, level::warning, "setup.ini", "no value for S2: the host uses 50"));
}

TEST_F(cabinet_check_test, WhatStartUpRepairsIsAWarning) {
    fs::remove(cab.path("system/logs/meter.txt"));
    EXPECT_TRUE(has(check(), level::warning, "meter.txt", "starts a new meter file counting from zero"));
    cab.write("system/meter.txt", "M1,7\r\n");
    EXPECT_TRUE(has(check(), level::warning, "meter.txt", "restores it at start from"));
    fs::remove_all(cab.path("system"));
    const content_findings f = check();
    EXPECT_TRUE(has(f, level::warning, "system", "the host creates it at start")) << rendered(f);
    EXPECT_FALSE(fs::exists(cab.path("system")));
}

TEST_F(cabinet_check_test, MarkersForDemoAndAutoplayAreWarnings) {
    cab.write("demo_mode.txt", "");
    cab.write("autoplay.txt", "price_per_play,0\r\n");
    const content_findings f = check();
    EXPECT_EQ(f.status(), 1);
    EXPECT_TRUE(has(f, level::warning, "demo_mode.txt", "demo mode")) << rendered(f);
    EXPECT_TRUE(has(f, level::warning, "autoplay.txt", "replace setup.ini's"));
}

TEST_F(cabinet_check_test, TheCreditLibraryMustLoadWithItsFourEntryPoints) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows looks for DLLs in quizhost.exe's own folder first, which holds the build's stand-in";
#endif
    fs::remove(cab.path(tccomm_file));
    const content_findings missing = check();
    EXPECT_TRUE(has(missing, level::error, "", "the credit library cannot be used")) << rendered(missing);
    EXPECT_TRUE(has(missing, level::error, "", "it is looked for in the cabinet folder " + root()));
#ifndef _WIN32
    install("libtccomm_without_badd.so", tccomm_file);
    const content_findings incomplete = check();
    EXPECT_TRUE(has(incomplete, level::error, "", "error 453")) << rendered(incomplete);
    EXPECT_TRUE(has(incomplete, level::error, "", "no entry point badd"));
    // Loading is all: the library's state file shows no call.
    EXPECT_EQ(cab.read("credit_state.txt"), "credit,500\r\nbank,0\r\n");
#endif
}

TEST_F(cabinet_check_test, ExtraFlagFilesAreNamedAsIgnored) {
    cab.write("flg_vanta.dat", "");
    cab.write("flg_meridian.dat", "");
    const content_findings f = check();
    EXPECT_TRUE(has(f, level::warning, "flg_meridian.dat", "ignored: flg_vanta.dat comes first")) << rendered(f);
    EXPECT_TRUE(has(f, level::note, "flg_vanta.dat", "the credit library loads"));
}

#ifndef _WIN32
TEST_F(cabinet_check_test, TheShellMustAttach) {
    cab.write("flg_orbital.dat", "");
    install("libclientshell.so");
    EXPECT_TRUE(has(check(), level::error, "flg_orbital.dat", "the cabinet shell cannot be attached"));
    cab.write("credit_state.txt", "credit,500\r\nshell,running\r\n");
    EXPECT_TRUE(has(check(), level::note, "flg_orbital.dat", "the cabinet shell is running and attaches"));
}
#endif

TEST_F(cabinet_check_test, TheCreditServiceIsAskedOnlyForTheCredit) {
    cab.write("flg_meridian.dat", "");
    {
        faulty_credit_service service;
        service.on("GET_CREDIT", faulty_credit_service::answer("CREDIT 150\r\n"));
        credit_port = service.port();
        const content_findings f = check();
        EXPECT_TRUE(has(f, level::note, "flg_meridian.dat", "answers GET_CREDIT (it only reads) with 150"))
            << rendered(f);
        EXPECT_THAT(service.requests(), ::testing::ElementsAre("GET_CREDIT \r\n"));
    }
    // The service is gone: its port refuses.
    const content_findings f = check();
    EXPECT_TRUE(has(f, level::error, "flg_meridian.dat", "does not answer")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "flg_meridian.dat", "127.0.0.1:" + std::to_string(credit_port)));
}

TEST_F(cabinet_check_test, TheBrowserPortMustBeFree) {
    const auto taken = listen_on_loopback(0);
    cabinet_check_options options;
    options.program_folder = root();
    options.http_port = taken->port();
    const content_findings f = check_cabinet({*native}, options);
    EXPECT_TRUE(has(f, level::error, "127.0.0.1:" + std::to_string(taken->port()),
                    "the browser player's port is in use, by another program"))
        << rendered(f);
    EXPECT_FALSE(has(f, level::error, "", "Permission denied")) << rendered(f);
}

// A meter file the host refuses at start keeps the unit down: an error naming each line; one that is only
// odd is a warning; a damaged master copy that the host would restore is an error too.
TEST_F(cabinet_check_test, AMeterFileTheHostCannotPlayOnIsAnErrorNamingItsLine) {
    std::string bytes = sound_meter_file();
    bytes.replace(bytes.find("M1,0"), 4, "M1,abc");
    cab.write("system/logs/meter.txt", bytes);
    content_findings f = check();
    EXPECT_EQ(f.status(), 2);
    EXPECT_TRUE(has(f, level::error, "meter.txt", "so the host refuses to start: line 5 \"M1,abc\"")) << rendered(f);
    EXPECT_TRUE(std::any_of(f.list.begin(), f.list.end(), [](const auto& x) { return x.line == 5; }));

    for (const char* garbage : {"", "\x01\x02 garbage", "GameName,Tollcastle Wrapper\rM1,0\rM8,0\r"}) {
        cab.write("system/logs/meter.txt", garbage);
        f = check();
        EXPECT_EQ(f.status(), 2) << rendered(f);
        EXPECT_TRUE(has(f, level::error, "meter.txt", "the host refuses to start")) << rendered(f);
    }

    cab.write("system/logs/meter.txt", sound_meter_file() + "Note,kept by hand\r\n");
    f = check();
    EXPECT_EQ(f.status(), 1) << rendered(f);
    EXPECT_TRUE(has(f, level::warning, "meter.txt", "line 67 \"Note,kept by hand\": unknown key")) << rendered(f);

    fs::remove(cab.path("system/logs/meter.txt"));
    cab.write("system/meter.txt", "M1,7\r\n");
    f = check();
    EXPECT_TRUE(has(f, level::error, std::string("system") + path_separator + "meter.txt",
                    "the master copy of the meter file is damaged"))
        << rendered(f);
}

// A high-score table the host cannot read or will not rebuild ends every game that enters a score, after
// its price was taken: an error before the first coin.
TEST_F(cabinet_check_test, AHighScoreTableTheHostCannotRebuildIsAnError) {
    cab.write("variable/highscores.txt",
              "Score,1,,,09:00 01/12/2026,AAA,1234,0\rScore,2,,,09:00 01/12/2026,AAA,1234,0\r");
    content_findings f = check();
    EXPECT_TRUE(has(f, level::error, "highscores.txt", "line 1: a score row that cannot be read")) << rendered(f);
    fs::resize_file(cab.path("variable/highscores.txt"), std::uintmax_t{64} << 20);  // sparse
    f = check();
    EXPECT_TRUE(has(f, level::error, "highscores.txt", "bytes, more than the")) << rendered(f);
}

// The preflight never ends in an unhandled failure: a weight of 309 digits, a payout of 400 digits, a
// table file of gigabytes are each a finding naming the file, and every other fault is still reported.
TEST_F(cabinet_check_test, TheCheckNeverCrashesAndReportsEveryFault) {
    std::string rows;
    for (int q = 0; q < 12; ++q) rows += (q == 0 ? std::string(309, '9') : std::string("100")) + ",0,0,0\r\n";
    std::string tables;
    for (int mode = 0; mode < 6; ++mode) tables += rows + "*\r\n";
    cab.write("data/weighted_questions.txt", tables);
    cab.write("system/setup.ini", "S1," + std::string(400, '9') + "\r\nS2,50\r\n");
    content_findings f = check();
    EXPECT_TRUE(has(f, level::warning, "weighted_questions.txt", "add up to Infinity")) << rendered(f);
    EXPECT_TRUE(has(f, level::warning, "setup.ini", " is out of bounds: the host uses 70")) << rendered(f);

    // Lines ended by CR alone: the host reads the table as one row, and every game dies at its first
    // question after its price was taken. An error, and the missing question file behind it is named too.
    std::string cr_only = tables;
    std::erase(cr_only, '\n');
    cab.write("data/weighted_questions.txt", cr_only);
    fs::remove(cab.path("data/data_4_2.dat"));
    f = check();
    EXPECT_EQ(f.status(), 2);
    EXPECT_TRUE(has(f, level::error, "weighted_questions.txt", "its lines end with CR alone")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "data_4_2.dat", "missing")) << rendered(f);

    fs::resize_file(cab.path("data/weighted_questions.txt"), std::uintmax_t{64} << 20);  // sparse
    f = check();
    EXPECT_TRUE(has(f, level::error, "weighted_questions.txt",
                    "bytes, more than the " + std::to_string(record_file_size_limit)))
        << rendered(f);
    EXPECT_TRUE(has(f, level::error, "data_4_2.dat", "missing")) << rendered(f);
}

TEST_F(cabinet_check_test, AHostAlreadyServingTheCabinetIsAWarningAndItsLockIsKept) {
    std::string holder;
    const auto held = try_lock_folder(root(), holder);
    ASSERT_TRUE(held);
    cabinet_check_options options;
    options.program_folder = root();
    const content_findings f = check_cabinet({*native}, options);
    EXPECT_TRUE(has(f, level::warning, root(), "another quizhost")) << rendered(f);
    // The check let go of nothing it did not take: the host's lock still stands.
    EXPECT_FALSE(try_lock_folder(root(), holder));
}

TEST_F(cabinet_check_test, TheCommandPrintsOneFindingPerLineAndExitsByTheWorst) {
    const std::string port = "--http-port=0";
    run_result clean = run_program(bin_path("quizhost"), {"check", "--root", cab.root(), port});
    EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
    EXPECT_THAT(clean.out, HasSubstr(": 0 errors, 0 warnings"));

    cab.write("system/setup.ini", "S1,500\r\nS2,50\r\n");
    run_result warned = run_program(bin_path("quizhost"), {"check", "--root", cab.root(), port});
    EXPECT_EQ(warned.status, 1) << warned.out;
    EXPECT_THAT(warned.out, HasSubstr("setup.ini: warning: S1,500 is out of bounds: the host uses 70"));

    fs::remove(cab.path("data/data_3_2.dat"));
    run_result broken = run_program(bin_path("quizhost"), {"check", "--root", cab.root(), port});
    EXPECT_EQ(broken.status, 2) << broken.out;
    EXPECT_THAT(broken.out, HasSubstr("data_3_2.dat: error: missing"));

    run_result nowhere = run_program(bin_path("quizhost"), {"check", "--root", cab.path("no-such-folder"), port});
    EXPECT_EQ(nowhere.status, 2);
    EXPECT_THAT(nowhere.out, HasSubstr("no such folder"));
}

}  // namespace
}  // namespace quizhost::testing

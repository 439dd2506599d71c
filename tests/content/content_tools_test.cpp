// The content author's tools: enciphering plain lines and back, the data folder check with its findings
// and exit statuses, and the demo data folder, which must check clean.
#include "content/content_tools.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "basic/text.hpp"
#include "content_test_support.hpp"
#include "records/text_records.hpp"
#include "support/e2e.hpp"

namespace quizhost::testing {
namespace {

using level = content_finding::level;

std::string plain_lines(std::string_view bytes) {
    std::string joined;
    for (auto line : split_lines(bytes)) joined += std::string(line) + "\n";
    return joined;
}

// Findings rendered one per line, for readable failures and for searching.
std::string rendered(const content_findings& findings) {
    std::string text;
    for (const auto& f : findings.list) text += format_finding(f) + "\n";
    return text;
}

bool has(const content_findings& findings, level kind, const std::string& file_end, long line,
         const std::string& words) {
    return std::any_of(findings.list.begin(), findings.list.end(), [&](const content_finding& f) {
        return f.kind == kind && f.file.ends_with(file_end) && f.line == line &&
               f.message.find(words) != std::string::npos;
    });
}

TEST(EncipherLines, RoundTripsEveryLineWithCrLfEnds) {
    const ciphered_lines out = encipher_lines(
        "What is 2+2?~3~4~5~6~2\nCapital of France?~Paris~Rome~Madrid~Berlin~1\r\nx\n", question_key, "q.txt");
    EXPECT_EQ(out.findings.status(), 0) << rendered(out.findings);
    EXPECT_EQ(out.lines, 3);
    EXPECT_EQ(std::count(out.bytes.begin(), out.bytes.end(), '\n'), 3);
    EXPECT_NE(out.bytes.find("\r\n"), std::string::npos);
    const ciphered_lines back = decipher_lines(out.bytes, question_key, "q.dat");
    EXPECT_EQ(back.findings.status(), 0) << rendered(back.findings);
    EXPECT_EQ(plain_lines(back.bytes), "What is 2+2?~3~4~5~6~2\nCapital of France?~Paris~Rome~Madrid~Berlin~1\nx\n");
}

TEST(EncipherLines, RefusesWhatCannotBeEncipheredNamingTheLine) {
    content_findings f = encipher_lines("fine\n\nalso fine\n", question_key, "q.txt").findings;
    EXPECT_TRUE(has(f, level::error, "q.txt", 2, "empty line")) << rendered(f);
    // With the key "A" the offset is 65: "!" (33) would need the number 98, below the 100 the form needs.
    f = encipher_lines("Hi\nHi!\n", "A", "q.txt").findings;
    EXPECT_TRUE(has(f, level::error, "q.txt", 2, "character 3 (code 33) cannot be enciphered")) << rendered(f);
    EXPECT_EQ(f.count(level::error), 1);
    f = encipher_lines("\xEF\xBB\xBFQuestion\n", question_key, "q.txt").findings;
    EXPECT_TRUE(has(f, level::error, "q.txt", 1, "byte-order mark")) << rendered(f);
    f = encipher_lines("", question_key, "q.txt").findings;
    EXPECT_EQ(f.status(), 2);
}

TEST(EncipherLines, WarnsAboutNonAsciiButStillEnciphers) {
    const ciphered_lines out = encipher_lines("Caf\xC3\xA9\n", question_key, "q.txt");
    EXPECT_TRUE(has(out.findings, level::warning, "q.txt", 1, "character 4 is not ASCII (byte 0xC3)"))
        << rendered(out.findings);
    EXPECT_EQ(out.findings.status(), 1);
    EXPECT_EQ(plain_lines(decipher_lines(out.bytes, question_key, "q.dat").bytes), "Caf\xC3\xA9\n");
}

TEST(DecipherLines, ReportsBadLinesAndKeepsTheLineNumbersAligned) {
    const std::string good = encipher_lines("one\n", question_key, "").bytes;
    const ciphered_lines out = decipher_lines(good + "\r\nA" + good + "ok", question_key, "q.dat");
    EXPECT_TRUE(has(out.findings, level::error, "q.dat", 2, "empty line")) << rendered(out.findings);
    EXPECT_TRUE(has(out.findings, level::error, "q.dat", 3, "deciphers to the empty text")) << rendered(out.findings);
    EXPECT_TRUE(has(out.findings, level::error, "q.dat", 4, "cannot be deciphered")) << rendered(out.findings);
    EXPECT_EQ(split_lines(out.bytes).size(), 4u);
    EXPECT_EQ(split_lines(out.bytes)[0], "one");
}

// A data folder that checks clean: built-in tables, all eight question files and the instructions.
class CheckFolder : public ::testing::Test {
protected:
    CheckFolder() {
        for (int d = 1; d <= 4; ++d) {
            for (int s = 1; s <= 2; ++s) write_questions(t, d, s, {"Q" + std::to_string(d) + "~a~b~c~d~1"});
        }
        t.write("data/instructions.txt", "Play.\r\n");
    }
    content_findings check() { return check_data_folder(*t.files, t.path("data")); }
    test_host t;
};

TEST_F(CheckFolder, CleanFolderWithBuiltInTablesPasses) {
    const content_findings f = check();
    EXPECT_EQ(f.status(), 0) << rendered(f);
    EXPECT_TRUE(has(f, level::note, "weighted_questions.txt", 0, "built-in default"));
    // The built-in tables are the host's own design: their oddities (the plans of mode 4 adding up to 105,
    // lives never given) are no fault of the folder and are not shown as if they were.
    EXPECT_FALSE(has(f, level::note, "weighted_winplans.txt (built-in default)", 13, "add up to 105")) << rendered(f);
    for (const auto& finding : f.list) {
        EXPECT_FALSE(finding.file.ends_with("(built-in default)")) << format_finding(finding);
    }
}

// Whatever a table holds, the check ends with findings, never with an unhandled failure: a weight of 309
// digits (beyond any double) is a number the host reads, and the sum is shown as it is.
TEST_F(CheckFolder, AWeightBeyondAnyNumberIsAFindingNotACrash) {
    const std::string huge(309, '9');
    t.write("data/weighted_lives.txt",
            huge + ",0,0\r\n" + huge + ",0,0\r\n100,0,0\r\n100,0,0\r\n100,0,0\r\n100,0,0\r\n");
    t.write("data/weighted_winplans.txt", "100*" + huge + ",100,100,100,100,100\r\n");
    content_findings f;
    ASSERT_NO_THROW(f = check());
    EXPECT_TRUE(has(f, level::warning, "weighted_lives.txt", 1, "the weights add up to Infinity")) << rendered(f);
}

// Lines ended by CR alone read as one line to the host: every game would take its price and die at the
// first question, so it is an error, and the question files behind the table are still all checked.
TEST_F(CheckFolder, ATableWithCrOnlyLinesIsAnErrorAndTheFilesBehindItAreStillChecked) {
    std::string tables;
    for (int mode = 0; mode < 6; ++mode) {
        for (int q = 0; q < 12; ++q) tables += "100,0,0,0\r";
        tables += "*\r";
    }
    t.write("data/weighted_questions.txt", tables);
    std::filesystem::remove(t.path("data/data_3_1.dat"));
    const content_findings f = check();
    EXPECT_EQ(f.status(), 2);
    EXPECT_TRUE(has(f, level::error, "weighted_questions.txt", 1, "its lines end with CR alone")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "data_3_1.dat", 0, "missing")) << rendered(f);

    // Tables without rows: every question stops the game, and every question file is still checked.
    t.write("data/weighted_questions.txt", "*\r\n*\r\n*\r\n*\r\n*\r\n*\r\n");
    const content_findings none = check();
    EXPECT_EQ(none.status(), 2);
    EXPECT_TRUE(has(none, level::error, "weighted_questions.txt", 1, "the host stops at start-up")) << rendered(none);
    EXPECT_TRUE(has(none, level::error, "data_3_1.dat", 0, "missing")) << rendered(none);
}

TEST_F(CheckFolder, NotesOnBuiltInTablesSaySoAndEveryQuestionFileIsCounted) {
    write_questions(t, 2, 2, {"one~a~b~c~d~1", "two~a~b~c~d~1", "three~a~b~c~d~1"});
    const content_findings f = check();
    for (const auto& finding : f.list) {
        if (finding.file.ends_with("(built-in default)") || finding.message.find("built-in") != std::string::npos) {
            EXPECT_TRUE(finding.message.starts_with("built-in table: ")) << format_finding(finding);
        }
    }
    EXPECT_TRUE(has(f, level::note, "weighted_lives.txt", 0, "built-in table: not found, the host uses its built-in"));
    EXPECT_TRUE(has(f, level::note, "data_2_2.dat", 0, "3 question lines (difficulty 2, set 2)")) << rendered(f);
    EXPECT_TRUE(has(f, level::note, "data_1_1.dat", 0, "1 question line (difficulty 1, set 1)")) << rendered(f);
    // A table file of the author's own gets no such mark.
    t.write("data/weighted_lives.txt", "100,0,0\r\n80,20,0\r\n75,24,1\r\n70,25,5\r\n70,25,5\r\n70,25,5,9\r\n");
    EXPECT_FALSE(has(check(), level::note, "weighted_lives.txt", 0, "built-in table"));
}

TEST_F(CheckFolder, EmptyTableFilesAreErrors) {
    t.write("data/weighted_questions.txt", "");
    t.write("data/weighted_winplans.txt", "");
    t.write("data/weighted_lives.txt", "");
    const content_findings f = check();
    EXPECT_TRUE(has(f, level::error, "weighted_questions.txt", 1, "empty")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "weighted_winplans.txt", 1, "every GET_WINPLAN stops")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "weighted_lives.txt", 1, "empty")) << rendered(f);
    EXPECT_EQ(f.status(), 2);
}

TEST_F(CheckFolder, QuestionTableFaultsAreFoundWithTheirLines) {
    t.write("data/weighted_questions.txt",
            "100,0,0,0\r\n0,100,0,0\r\n*\r\n"              // mode 0: two questions
            "100,0,0\r\n0,x,0,0\r\n*\r\n"                  // mode 1: lines 4 and 5 at fault
            "100,0,0,0\r\n*\r\n"                           // mode 2: no row for question 2
            "60,50,0,0\r\n0,0,0,100\r\n*\r\n"              // mode 3: line 9 adds up to 110
            "100,0,0,0\r\n100,0,0,0\r\n*\r\n");            // mode 4; no table for mode 5
    std::filesystem::remove(t.path("data/data_3_1.dat"));  // no row draws difficulty 3
    const content_findings f = check();
    EXPECT_TRUE(has(f, level::error, "weighted_questions.txt", 4, "game mode 1, question 1: the row has 3 fields"))
        << rendered(f);
    EXPECT_TRUE(has(f, level::error, "weighted_questions.txt", 5, "game mode 1, question 2: a weight is not a number"))
        << rendered(f);
    EXPECT_TRUE(has(f, level::error, "weighted_questions.txt", 8, "game mode 2: the table has no row for question 2"))
        << rendered(f);
    EXPECT_TRUE(has(f, level::warning, "weighted_questions.txt", 9, "add up to 110")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "weighted_questions.txt", 14, "no table for game mode 5")) << rendered(f);
    EXPECT_EQ(f.count(level::error), 4) << rendered(f);
    EXPECT_FALSE(has(f, level::error, "data_3_1.dat", 0, "missing"));
}

TEST_F(CheckFolder, QuestionFilesTheTablesCanDrawMustHoldReadableLines) {
    std::filesystem::remove(t.path("data/data_2_1.dat"));
    t.write("data/data_2_2.dat", "");
    const std::string good = encipher_lines("fine", question_key, "").bytes;
    t.write("data/data_4_1.dat", good + "\r\n" + "A" + good + "ok\r\n");
    const content_findings f = check();
    EXPECT_TRUE(has(f, level::error, "data_2_1.dat", 0,
                    "missing: the tables can draw difficulty 2 (first drawn at game mode 0, question 2)"))
        << rendered(f);
    EXPECT_TRUE(has(f, level::error, "data_2_2.dat", 0, "empty")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "data_4_1.dat", 2, "empty line")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "data_4_1.dat", 3, "deciphers to the empty text")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "data_4_1.dat", 4, "cannot be deciphered")) << rendered(f);
    EXPECT_EQ(f.status(), 2);
}

TEST_F(CheckFolder, FilesTheTablesNeverDrawOnlyWarn) {
    t.write(
        "data/weighted_questions.txt",
        "100,0,0,0\r\n*\r\n100,0,0,0\r\n*\r\n100,0,0,0\r\n*\r\n100,0,0,0\r\n*\r\n100,0,0,0\r\n*\r\n100,0,0,0\r\n*\r\n");
    std::filesystem::remove(t.path("data/data_2_1.dat"));
    t.write("data/data_3_1.dat", "\r\n");
    const content_findings f = check();
    EXPECT_FALSE(has(f, level::error, "data_2_1.dat", 0, "missing")) << rendered(f);
    EXPECT_TRUE(has(f, level::warning, "data_3_1.dat", 1, "never draw")) << rendered(f);
    EXPECT_EQ(f.status(), 1);
}

TEST_F(CheckFolder, WinPlanFaultsAreErrorsWhereTheWalkReachesThem) {
    t.write("data/weighted_winplans.txt", "-1,100*50,50,50,50,50,50\r\n-1,200\r\n-1,300*50,50,50,50,50\r\n");
    content_findings f = check();
    EXPECT_TRUE(has(f, level::error, "weighted_winplans.txt", 2, "no \"*\"")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "weighted_winplans.txt", 3, "fewer than 6 weights")) << rendered(f);

    t.write("data/weighted_winplans.txt", "-1,100*100,100,100,100,100,100\r\n\r\n");
    f = check();
    EXPECT_TRUE(has(f, level::warning, "weighted_winplans.txt", 2, "never reached")) << rendered(f);
    EXPECT_EQ(f.status(), 1);
}

TEST_F(CheckFolder, PlanWeightsThatDoNotAddUpTo100Warn) {
    t.write("data/weighted_winplans.txt",
            "-1,100*60,40,100,100,100,100\r\n-1,200*50,40,0,0,0,0\r\n-1,300*0,0,0,0,0,0\r\n");
    const content_findings f = check();
    EXPECT_TRUE(
        has(f, level::warning, "weighted_winplans.txt", 2, "game mode 0: the plan weights add up to 110, not 100"))
        << rendered(f);
    EXPECT_TRUE(has(f, level::warning, "weighted_winplans.txt", 3,
                    "game mode 1: the plan weights add up to 80, not 100; draws above 80 fall to the last plan"))
        << rendered(f);
    EXPECT_EQ(f.status(), 1) << rendered(f);
}

TEST_F(CheckFolder, LivesRowsForEveryModeWithReadableWeights) {
    t.write("data/weighted_lives.txt", "100,0,0\r\n80,x,0\r\n75,24,y\r\n70,25,10\r\n");
    const content_findings f = check();
    EXPECT_TRUE(
        has(f, level::error, "weighted_lives.txt", 2, "game mode 1: the weight of 2 lives \"x\" is not a number"))
        << rendered(f);
    EXPECT_TRUE(has(f, level::warning, "weighted_lives.txt", 3, "never read")) << rendered(f);
    EXPECT_TRUE(has(f, level::warning, "weighted_lives.txt", 4, "add up to 105")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "weighted_lives.txt", 4, "no row for game mode 4")) << rendered(f);
    EXPECT_TRUE(has(f, level::error, "weighted_lives.txt", 4, "no row for game mode 5")) << rendered(f);
}

TEST_F(CheckFolder, MissingInstructionsAndFolderAreReported) {
    std::filesystem::remove(t.path("data/instructions.txt"));
    EXPECT_TRUE(has(check(), level::warning, "instructions.txt", 0, "Instructions File not Found"));
    EXPECT_EQ(check().status(), 1);
    EXPECT_EQ(check_data_folder(*t.files, t.path("nowhere")).status(), 2);
}

TEST_F(CheckFolder, LargeFilesReportProgressAndFindingsAreCapped) {
    const std::string bad = "A" + encipher_lines("bad", question_key, "").bytes;  // deciphers empty
    std::string bytes;
    for (int i = 0; i < 10'001; ++i) bytes += i < 25 ? bad : encipher_lines("good", question_key, "").bytes;
    t.write("data/data_1_1.dat", bytes);
    std::vector<std::string> progress;
    const content_findings f =
        check_data_folder(*t.files, t.path("data"), [&](const std::string& file, long done, long total) {
            progress.push_back(file.substr(file.size() - 12) + " " + std::to_string(done) + "/" +
                               std::to_string(total));
        });
    EXPECT_EQ(progress, (std::vector<std::string>{"data_1_1.dat 10000/10001", "data_1_1.dat 10001/10001"}));
    EXPECT_EQ(std::count_if(f.list.begin(), f.list.end(),
                            [](const auto& x) { return x.file.ends_with("data_1_1.dat") && x.kind != level::note; }),
              21);
    EXPECT_TRUE(has(f, level::note, "data_1_1.dat", 0, "10001 question lines"));
    EXPECT_TRUE(has(f, level::error, "data_1_1.dat", 0, "5 more lines")) << rendered(f);
}

// ---- The tools as the content author runs them ----

class ContentCommand : public ::testing::Test {
protected:
    run_result quizhost(const std::vector<std::string>& args) {
        std::vector<std::string> all{"content"};
        all.insert(all.end(), args.begin(), args.end());
        return run_program(bin_path("quizhost"), all);
    }
    test_host t;
};

TEST_F(ContentCommand, EncryptThenDecryptGivesTheLinesBack) {
    t.write("plain.txt", "Question one?~a~b~c~d~1\nQuestion two?~a~b~c~d~2\n");
    const run_result enc = quizhost({"encrypt", t.path("plain.txt"), t.path("q.dat")});
    EXPECT_EQ(enc.status, 0) << enc.err;
    EXPECT_NE(enc.err.find("enciphered 2 lines"), std::string::npos) << enc.err;
    const run_result dec = quizhost({"decrypt", t.path("q.dat"), "-"});
    EXPECT_EQ(dec.status, 0) << dec.err;
    EXPECT_EQ(dec.out, "Question one?~a~b~c~d~1\r\nQuestion two?~a~b~c~d~2\r\n");
    // Another key gives another file, which the question key does not read back.
    EXPECT_EQ(quizhost({"encrypt", "--key", "otherkey", t.path("plain.txt"), t.path("other.dat")}).status, 0);
    EXPECT_NE(t.read("other.dat"), t.read("q.dat"));
    EXPECT_EQ(quizhost({"decrypt", "--key", "otherkey", t.path("other.dat"), "-"}).out, dec.out);
}

TEST_F(ContentCommand, RefusedInputWritesNothingAndKeepsTheOldFile) {
    t.write("plain.txt", "Fine\n\nAlso fine\n");
    t.write("q.dat", "old contents\r\n");
    const run_result r = quizhost({"encrypt", t.path("plain.txt"), t.path("q.dat")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(t.path("plain.txt") + ":2: error: empty line"), std::string::npos) << r.err;
    EXPECT_EQ(t.read("q.dat"), "old contents\r\n");
    const run_result missing = quizhost({"encrypt", t.path("none.txt"), t.path("q.dat")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot be read"), std::string::npos) << missing.err;
}

TEST_F(ContentCommand, CheckExitStatusSaysCleanWarningsOrErrors) {
    for (int d = 1; d <= 4; ++d) {
        for (int s = 1; s <= 2; ++s) write_questions(t, d, s, {"Q~a~b~c~d~1"});
    }
    run_result r = quizhost({"check", t.path("data")});
    EXPECT_EQ(r.status, 1) << r.out;  // no instructions
    EXPECT_NE(r.out.find("0 errors, 1 warning"), std::string::npos) << r.out;
    t.write("data/instructions.txt", "Play.\r\n");
    EXPECT_EQ(quizhost({"check", t.path("data")}).status, 0);
    t.write("data/weighted_lives.txt", "100,0,0\r\n");
    r = quizhost({"check", t.path("data")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find(t.path("data/weighted_lives.txt") + ":1: error: no row for game mode 1"), std::string::npos)
        << r.out;
    EXPECT_EQ(quizhost({}).status, exit_usage);  // a tool must be named
}

TEST(DemoData, EveryQuestionFileIsItsSourceEnciphered) {
    const std::string demo = std::string(QUIZHOST_SOURCE_DIR) + "/demo/";
    auto files = make_native_file_system();
    for (int d = 1; d <= 4; ++d) {
        for (int s = 1; s <= 2; ++s) {
            const std::string name = std::to_string(d) + "_" + std::to_string(s);
            const std::string source = files->read_file(demo + "content-src/questions_" + name + ".txt");
            const ciphered_lines back =
                decipher_lines(files->read_file(demo + "cabinet/data/data_" + name + ".dat"), question_key, name);
            ASSERT_EQ(back.findings.status(), 0) << rendered(back.findings);
            EXPECT_EQ(plain_lines(back.bytes), plain_lines(source)) << name;
            EXPECT_GE(back.lines, 40) << name;
            // The movie's layout: question, four answers, the right answer's number.
            for (auto line : split_lines(source)) {
                const auto fields = split(line, '~');
                ASSERT_EQ(fields.size(), 6u) << line;
                EXPECT_TRUE(fields[5] >= "1" && fields[5] <= "4" && fields[5].size() == 1) << line;
                EXPECT_EQ(line.find('|'), std::string_view::npos) << line;
            }
        }
    }
    EXPECT_EQ(check_data_folder(*files, demo + "cabinet/data").status(), 0);
}

}  // namespace
}  // namespace quizhost::testing

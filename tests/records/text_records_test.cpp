#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "definitions.hpp"
#include "platform/file_system.hpp"
#include "records/text_records.hpp"
#include "support/run_time_errors.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using testing::native_files_swap;
using testing::test_host;

using testing::error_of;
using testing::failure_of;

std::set<std::string> folder_listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class TextRecords : public ::testing::Test {
protected:
    test_host t;
    file_system& fs = *t.files;
    std::string file = t.path("records.txt");

    void put(const std::string& bytes) { t.write("records.txt", bytes); }
};

TEST_F(TextRecords, KeyIsFollowedByACommaAndIgnoresCase) {
    put("M10,5\r\nM1,7\r\nScore,10,Ann\r\nScore,1,Bob\r\nM2,3,0\r\nM4\r\n");
    EXPECT_EQ(read_record_field(fs, file, "M1", 1), "7");  // not the M10 line before it
    EXPECT_EQ(read_record_field(fs, file, "m10", 1), "5");
    EXPECT_EQ(read_record(fs, file, "score,1"), "Score,1,Bob");  // not rank 10
    EXPECT_EQ(read_record_field(fs, file, "M2,3", 2), "0");      // a compound key
    EXPECT_EQ(read_record(fs, file, "M4"), "");                  // no comma after the key: no match
    EXPECT_EQ(read_record(fs, file, "M"), "");
    EXPECT_EQ(read_record(fs, file, "M3"), "");
}

TEST_F(TextRecords, FieldsAreTrimmedOfSpacesButLinesAreNot) {
    put("S1, 70 ,x\r\n");
    EXPECT_EQ(read_record_field(fs, file, "S1", 1), "70");
    EXPECT_EQ(read_record(fs, file, "S1"), "S1, 70 ,x");
    EXPECT_EQ(get_field("A,\t7 ", 1), "\t7");  // spaces only
    EXPECT_EQ(get_field("  A  ", 0), "A");
}

TEST_F(TextRecords, FieldPastTheEndIsEmpty) {
    EXPECT_EQ(get_field("A,B", 1), "B");
    EXPECT_EQ(get_field("A,B", 2), "");
    EXPECT_EQ(get_field("A,B,", 2), "");
    EXPECT_EQ(get_field("A,B", -1), "");
    EXPECT_EQ(get_field("", 0), "");
    put("A,B\r\n");
    EXPECT_EQ(read_record_field(fs, file, "A", 2), "");
}

TEST_F(TextRecords, OperationsThatTestFirstAnswerAMissingFileQuietly) {
    EXPECT_FALSE(file_exists(fs, file));
    EXPECT_EQ(read_record(fs, file, "M1"), "");
    EXPECT_EQ(read_record_field(fs, file, "M1", 1), "");
    EXPECT_EQ(read_numbered_records(fs, file, "Score"), "");
    append_line(fs, file, "M1,0");
    EXPECT_FALSE(t.exists("records.txt"));  // append never creates the file
    t.write("folder/inside.txt", "");
    EXPECT_FALSE(file_exists(fs, t.path("folder")));  // a folder is not a file
}

TEST_F(TextRecords, OperationsThatDoNotTestFirstRaiseFileNotFound) {
    EXPECT_EQ(error_of([&] { read_all_lines(fs, file); }), file_not_found);
    EXPECT_EQ(error_of([&] { count_lines(fs, file); }), file_not_found);
    EXPECT_EQ(error_of([&] { update_record_field(fs, file, "M1", 1, "3"); }), file_not_found);
    EXPECT_EQ(error_of([&] { text_file_reader reader(fs, file); }), file_not_found);
    // In a folder that is not there, the path is what is missing.
    EXPECT_EQ(error_of([&] { read_all_lines(fs, t.path("nowhere/records.txt")); }), path_not_found);
    EXPECT_FALSE(t.exists("records.txt"));
}

TEST_F(TextRecords, AFolderInPlaceOfTheFileIsAnAccessError) {
    t.write("records.txt/inside.txt", "");
    EXPECT_EQ(error_of([&] { read_all_lines(fs, file); }), path_file_access_error);
    EXPECT_EQ(error_of([&] { update_record_field(fs, file, "M1", 1, "3"); }), path_file_access_error);
}

TEST_F(TextRecords, LfAndCrLfLineEndsAreBothRead) {
    put("a,1\nb,2\r\n\nc,3");  // LF, CR LF, an empty LF line, a last line without an end
    EXPECT_EQ(read_all_lines(fs, file), "a,1|b,2||c,3");
    EXPECT_EQ(count_lines(fs, file), 4);
    EXPECT_EQ(read_record(fs, file, "b"), "b,2");  // no CR left on the line
    EXPECT_EQ(read_record_field(fs, file, "a", 1), "1");
    EXPECT_EQ(read_record_field(fs, file, "c", 1), "3");
}

TEST_F(TextRecords, ReadAllLinesKeepsEmptyLines) {
    put("");
    EXPECT_EQ(read_all_lines(fs, file), "");
    EXPECT_EQ(count_lines(fs, file), 0);
    put("a\r\n\r\nb\r\n");
    EXPECT_EQ(read_all_lines(fs, file), "a||b");
    EXPECT_EQ(count_lines(fs, file), 3);
    put("\r\n");
    EXPECT_EQ(read_all_lines(fs, file), "");
    EXPECT_EQ(count_lines(fs, file), 1);
    put("\r\n\r\n");
    EXPECT_EQ(read_all_lines(fs, file), "|");
    EXPECT_EQ(count_lines(fs, file), 2);
}

TEST_F(TextRecords, ReadNumberedRecordsSkipsGapsAndStopsAt64) {
    put("Score,4,D\r\nScore,2,B\r\nScore,10x,no\r\nScore,1,A\r\nScore,65,E\r\nScore,64,F\r\nscore,2,again\r\n");
    EXPECT_EQ(read_numbered_records(fs, file, "Score"), "Score,1,A|Score,2,B|Score,4,D|Score,64,F");
    put("Score,65,E\r\nOther,1\r\n");
    EXPECT_EQ(read_numbered_records(fs, file, "Score"), "");
}

TEST_F(TextRecords, FindRecordLineWalksSuccessiveMatches) {
    put("Title\r\nScore,1,A\r\nOther\r\nscore,2,B\r\nSc\r\nSCORE\r\n");
    text_file_reader reader(fs, file);
    EXPECT_EQ(find_record_line(reader, "Score"), "Score,1,A");
    EXPECT_EQ(find_record_line(reader, "Score"), "score,2,B");
    EXPECT_EQ(find_record_line(reader, "Score"), "SCORE");  // no comma is added to the search text
    EXPECT_EQ(find_record_line(reader, "Score"), "");       // the end of the file
    EXPECT_TRUE(reader.at_end());
    EXPECT_EQ(error_of([&] { reader.read_line(); }), input_past_end_of_file);
}

TEST_F(TextRecords, FindRecordLineStartsWhereTheReaderStands) {
    put("Score,1\r\nScore,2\r\n");
    text_file_reader reader(fs, file);
    reader.skip_line();
    EXPECT_EQ(find_record_line(reader, "score"), "Score,2");
}

TEST_F(TextRecords, AppendLineAddsOneCrLfLine) {
    put("a\r\n");
    append_line(fs, file, "b,1");
    append_line(fs, file, "");
    EXPECT_EQ(t.read("records.txt"), "a\r\nb,1\r\n\r\n");
}

TEST_F(TextRecords, AMegabyteLineIsHandled) {
    const std::string big(1 << 20, 'x');
    put("K," + big + ",end\r\nL,2\n");
    EXPECT_EQ(read_record_field(fs, file, "K", 2), "end");
    EXPECT_EQ(read_record(fs, file, "K").size(), big.size() + 6);
    EXPECT_EQ(read_record_field(fs, file, "L", 1), "2");
    EXPECT_EQ(count_lines(fs, file), 2);
    EXPECT_EQ(read_all_lines(fs, file).size(), big.size() + 6 + 1 + 3);
    EXPECT_EQ(update_record_field(fs, file, "L", 1, "3"), 1);
    EXPECT_EQ(t.read("records.txt"), "K," + big + ",end\r\nL,3\r\n");
}

TEST_F(TextRecords, UpdateRewritesEveryMatchingLine) {
    put("M1,0\r\nM10,4\r\nm1,5, 6 \r\nM2,3,0\r\n");
    EXPECT_EQ(update_record_field(fs, file, "M1", 1, " 9 "), 1);  // the value is written untrimmed
    EXPECT_EQ(t.read("records.txt"), "M1, 9 \r\nM10,4\r\nm1, 9 , 6 \r\nM2,3,0\r\n");
}

TEST_F(TextRecords, UpdateOfACompoundKeyAndAFieldPastTheEnd) {
    put("M2,3,0\r\nM2,30,0\r\n");
    EXPECT_EQ(update_record_field(fs, file, "M2,3", 2, "17"), 1);
    EXPECT_EQ(t.read("records.txt"), "M2,3,17\r\nM2,30,0\r\n");
    EXPECT_EQ(update_record_field(fs, file, "M2,3", 5, "99"), 1);  // matched, line unchanged
    EXPECT_EQ(t.read("records.txt"), "M2,3,17\r\nM2,30,0\r\n");
}

TEST_F(TextRecords, UpdateWritesEveryLineWithCrLf) {
    put("a,1\nb,2\r\nc,3");
    EXPECT_EQ(update_record_field(fs, file, "b", 1, "x"), 1);
    EXPECT_EQ(t.read("records.txt"), "a,1\r\nb,x\r\nc,3\r\n");
}

TEST_F(TextRecords, UpdateOfAMissingKeyTouchesNothing) {
    const std::string before = "a,1\nM10,2\r\nM1\r\nc,3";  // odd line ends that a rewrite would change
    put(before);
    const auto listing = folder_listing(t.folder.path());
    const auto modified = std::filesystem::last_write_time(file);
    EXPECT_EQ(update_record_field(fs, file, "M1", 1, "5"), -1);
    EXPECT_EQ(t.read("records.txt"), before);
    EXPECT_EQ(std::filesystem::last_write_time(file), modified);
    EXPECT_EQ(folder_listing(t.folder.path()), listing);  // no work file left behind
    EXPECT_FALSE(std::filesystem::exists("scrap.txt"));   // nor in the working directory
}

// The work file lives beside the records, never in the working directory; where the file system swaps
// names it stays there holding the version before the update.
TEST_F(TextRecords, UpdateLeavesAtMostItsWorkFileBesideTheRecords) {
    put("a,1\r\n");
    EXPECT_EQ(update_record_field(fs, file, "a", 1, "2"), 1);
    EXPECT_EQ(t.read("records.txt"), "a,2\r\n");
    if (native_files_swap()) {
        EXPECT_EQ(folder_listing(t.folder.path()), (std::set<std::string>{"records.txt", "scrap.txt"}));
        EXPECT_EQ(t.read("scrap.txt"), "a,1\r\n");
    } else {
        EXPECT_EQ(folder_listing(t.folder.path()), std::set<std::string>{"records.txt"});
    }
    EXPECT_FALSE(std::filesystem::exists("scrap.txt"));
}

TEST(RecordLines, SeveralUpdatesLandInOneSave) {
    test_host t;
    t.write("m.txt", "M1,0\r\nM2,3,0\r\n");
    record_lines lines = record_lines::load(*t.files, t.path("m.txt"));
    EXPECT_EQ(lines.update_field("M1", 1, "4"), 1);
    EXPECT_EQ(lines.update_field("m2,3", 2, "8"), 1);
    EXPECT_EQ(lines.update_field("M3", 1, "8"), -1);
    EXPECT_EQ(lines.read_field("M2,3", 2), "8");
    EXPECT_EQ(t.read("m.txt"), "M1,0\r\nM2,3,0\r\n");  // nothing written before the save
    lines.save(*t.files, t.path("m.txt"));
    EXPECT_EQ(t.read("m.txt"), "M1,4\r\nM2,3,8\r\n");
}

// A file over its bound is refused before a byte of it is read: a sparse tail of gigabytes costs neither
// memory nor time, and the error names the file. A file of exactly the bound is read.
TEST_F(TextRecords, EveryWholeFileReadIsBoundedAndNamesTheFile) {
    put("M1,7\r\n");
    std::filesystem::resize_file(file, record_file_size_limit + 1);  // sparse: no disk, no memory
    for (const auto& read : std::vector<std::function<void()>>{
             [&] { (void)read_record(fs, file, "M1"); },
             [&] { (void)read_record_field(fs, file, "M1", 1); },
             [&] { (void)read_numbered_records(fs, file, "Score"); },
             [&] { (void)read_all_lines(fs, file); },
             [&] { (void)count_lines(fs, file); },
             [&] { (void)record_lines::load(fs, file); },
             [&] { text_file_reader reader(fs, file); },
             [&] { (void)update_record_field(fs, file, "M1", 1, "8"); },
         }) {
        const run_time_error e = failure_of(read);
        EXPECT_EQ(e.number(), path_file_access_error);
        EXPECT_NE(e.detail().find(file), std::string::npos) << e.detail();
        EXPECT_NE(e.detail().find(std::to_string(record_file_size_limit + 1) + " bytes"), std::string::npos);
    }
    std::filesystem::resize_file(file, record_file_size_limit);
    EXPECT_EQ(read_record_field(fs, file, "M1", 1), "7");

    // Question files have their own, larger bound: a real 100,000-line file fits.
    EXPECT_GE(question_file_size_limit, 100'000 * 600);
    std::filesystem::resize_file(file, question_file_size_limit + 1);
    EXPECT_EQ(error_of([&] { (void)read_bounded_file(fs, file, question_file_size_limit); }), path_file_access_error);
    EXPECT_EQ(error_of([&] { check_file_size(fs, file, question_file_size_limit); }), path_file_access_error);
}

TEST(CutText, KeepsTheFirstPartAndMarksTheCut) {
    EXPECT_EQ(cut_text("short", 5), "short");
    EXPECT_EQ(cut_text("", 0), "");
    EXPECT_EQ(cut_text("longer", 4), "long [cut: 2 more characters]");
    EXPECT_EQ(cut_text(std::string(50'000'000, 'x'), 10).size(),
              10 + std::string(" [cut: 49999990 more characters]").size());
}

}  // namespace
}  // namespace quizhost

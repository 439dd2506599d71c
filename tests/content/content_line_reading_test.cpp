// The counted-line read behind "GET_QUESTION": the machine's file system reads large files in pieces, the
// default reads them whole. Both must agree with the line rules of the record files everywhere, above
// all for lines that straddle the pieces.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "content_test_support.hpp"
#include "platform/file_system.hpp"
#include "records/text_records.hpp"
#include "support/faulty_file_system.hpp"

namespace quizhost::testing {
namespace {

struct counted {
    long count = -1;
    std::string line;
};

counted read_line(file_system& fs, const std::string& path, long wanted) {
    counted result;
    result.line = fs.read_counted_line(path, [&](long count) {
        result.count = count;
        return wanted;
    });
    return result;
}

class CountedLineRead : public ::testing::TestWithParam<bool> {
protected:
    CountedLineRead() {
        native = make_native_file_system();
        by_default = std::make_unique<faulty_file_system>(make_native_file_system());  // keeps the default
    }
    file_system& fs() { return GetParam() ? *native : *by_default; }

    test_host t;
    std::unique_ptr<file_system> native;
    std::unique_ptr<file_system> by_default;
};

TEST_P(CountedLineRead, AgreesWithTheRecordLineRulesAcrossPieces) {
    // About 1.5 MB of lines from empty to 1000 bytes, CR LF and LF mixed, the last without its end.
    std::mt19937 random(7);
    std::string bytes;
    while (bytes.size() < 1'500'000) {
        bytes += std::string(random() % 1000, static_cast<char>('a' + random() % 26));
        bytes += random() % 3 ? "\r\n" : "\n";
    }
    bytes += "last line";
    t.write("big.dat", bytes);
    const auto lines = split_lines(bytes);
    const long count = static_cast<long>(lines.size());

    for (long wanted = 1; wanted <= count; wanted += 1 + wanted % 97) {
        const counted got = read_line(fs(), t.path("big.dat"), wanted);
        ASSERT_EQ(got.count, count);
        ASSERT_EQ(got.line, lines[static_cast<std::size_t>(wanted - 1)]) << "line " << wanted;
    }
    EXPECT_EQ(read_line(fs(), t.path("big.dat"), count).line, "last line");
}

TEST_P(CountedLineRead, LineEndsAtPieceEdgesAreHandled) {
    // A CR LF split across a 256 KiB piece edge, and a line ending exactly at one.
    const std::size_t piece = 256 * 1024;
    std::string bytes(piece - 1, 'x');
    bytes += "\r\nsecond\n";
    bytes += std::string(piece - 8 - 1, 'y');  // third line ends exactly at the second edge
    bytes += "\nfourth\r\n";
    t.write("edges.dat", bytes);
    EXPECT_EQ(read_line(fs(), t.path("edges.dat"), 1).line, std::string(piece - 1, 'x'));
    EXPECT_EQ(read_line(fs(), t.path("edges.dat"), 2).line, "second");
    EXPECT_EQ(read_line(fs(), t.path("edges.dat"), 3).line.size(), piece - 9);
    const counted last = read_line(fs(), t.path("edges.dat"), 4);
    EXPECT_EQ(last.count, 4);
    EXPECT_EQ(last.line, "fourth");
}

TEST_P(CountedLineRead, MissingLinesAndFilesFail) {
    t.write("two.dat", "a\r\nb\r\n");
    t.write("empty.dat", "");
    t.write("blank.dat", "\r\n");
    EXPECT_EQ(error_of([&] { read_line(fs(), t.path("two.dat"), 0); }), input_past_end_of_file);
    EXPECT_EQ(error_of([&] { read_line(fs(), t.path("two.dat"), 3); }), input_past_end_of_file);
    const auto empty = [&] { return read_line(fs(), t.path("empty.dat"), 1); };
    EXPECT_EQ(error_of(empty), input_past_end_of_file);
    const counted blank = read_line(fs(), t.path("blank.dat"), 1);
    EXPECT_EQ(blank.count, 1);
    EXPECT_EQ(blank.line, "");
    EXPECT_EQ(error_of([&] { read_line(fs(), t.path("none.dat"), 1); }), file_not_found);
}

INSTANTIATE_TEST_SUITE_P(NativeAndDefault, CountedLineRead, ::testing::Bool(), [](const auto& param_info) {
    return param_info.param ? std::string("Native") : std::string("Default");
});

}  // namespace
}  // namespace quizhost::testing

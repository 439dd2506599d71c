#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "basic/date_time.hpp"
#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "definitions.hpp"
#include "support/run_time_errors.hpp"

namespace quizhost {
namespace {

using testing::error_of;

TEST(LeadingNumber, TakesSignDigitsAndOnePointAndStopsAtAnythingElse) {
    EXPECT_EQ(leading_number("  12abc"), 12);
    EXPECT_EQ(leading_number("-3.5.7"), -3.5);
    EXPECT_EQ(leading_number("+7"), 7);
    EXPECT_EQ(leading_number(".5"), 0.5);
    EXPECT_EQ(leading_number("12."), 12);
    EXPECT_EQ(leading_number("1e308"), 1);
    EXPECT_EQ(leading_number("0x10"), 0);
    EXPECT_EQ(leading_number("1 2"), 1);
    EXPECT_EQ(leading_number(""), 0);
    EXPECT_EQ(leading_number("abc"), 0);
    EXPECT_EQ(leading_number("-"), 0);
    EXPECT_EQ(leading_number("NaN"), 0);
    EXPECT_EQ(leading_number("\t 250\r\n"), 250);
}

TEST(StrictNumber, AcceptsOnlyAWholePlainNumberWithBlanksAround) {
    EXPECT_EQ(strict_number(" 3.9 "), 3.9);
    EXPECT_EQ(strict_number("-0"), 0);
    EXPECT_EQ(error_of([] { strict_number(""); }), type_mismatch);
    EXPECT_EQ(error_of([] { strict_number("   "); }), type_mismatch);
    EXPECT_EQ(error_of([] { strict_number("12abc"); }), type_mismatch);
    EXPECT_EQ(error_of([] { strict_number("1e5"); }), type_mismatch);
    EXPECT_EQ(error_of([] { strict_number("NaN"); }), type_mismatch);
}

TEST(Rounding, HalvesGoToTheEvenNeighbourAndOutOfRangeOverflows) {
    EXPECT_EQ(round_to_int32(12.5), 12);
    EXPECT_EQ(round_to_int32(13.5), 14);
    EXPECT_EQ(round_to_int32(-12.5), -12);
    EXPECT_EQ(round_to_int32(2.4999), 2);
    EXPECT_EQ(round_to_int32(2147483647.0), 2147483647);
    EXPECT_EQ(error_of([] { round_to_int32(2147483648.0); }), overflow);
    EXPECT_EQ(error_of([] { round_to_int32(1e308); }), overflow);
    EXPECT_EQ(round_to_int16(32767.4), 32767);
    EXPECT_EQ(error_of([] { round_to_int16(32767.5); }), overflow);
}

TEST(NumberToText, WholeNumbersPlainOthersShortest) {
    EXPECT_EQ(number_to_text(12.5), "12.5");
    EXPECT_EQ(number_to_text(20.0), "20");
    EXPECT_EQ(number_to_text(-0.0), "0");
    EXPECT_EQ(number_to_text(-250.0), "-250");
    EXPECT_EQ(number_to_text(0.1), "0.1");
    EXPECT_EQ(number_to_text(2.0 / 3.0), "0.666666666666667");
    EXPECT_EQ(number_to_text(std::int64_t{-5}), "-5");
    EXPECT_EQ(number_to_text(1e20), "100000000000000000000");
    EXPECT_EQ(number_to_text(0.00001), "0.00001");
    EXPECT_EQ(number_to_text(-1.5e-7), "-0.00000015");
    for (double v : {1e20, 1e-5, 123456.789, 2.0 / 3.0, -7.25e18})
        EXPECT_DOUBLE_EQ(leading_number(number_to_text(v)), v);
}

// The text of every stored number: a value beyond the double range or undefined has none that reads back.
TEST(NumberToText, RefusesWhatNoTextReadsBackAsOverflow) {
    const double infinite = leading_number(std::string(400, '9'));
    EXPECT_EQ(error_of([&] { number_to_text(infinite); }), overflow);
    EXPECT_EQ(error_of([&] { number_to_text(-infinite); }), overflow);
    EXPECT_EQ(error_of([] { number_to_text(std::numeric_limits<double>::quiet_NaN()); }), overflow);
    // The extremes that do fit are written out in full and read back exactly.
    for (double v : {std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
                     std::numeric_limits<double>::denorm_min()}) {
        EXPECT_EQ(leading_number(number_to_text(v)), v);
    }
}

TEST(Split, KeepsEmptyPiecesAndGivesNoneForEmptyText) {
    EXPECT_EQ(split("a,,b,", ','), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_TRUE(split("", ',').empty());
    const auto none = split("", '|');
    EXPECT_EQ(error_of([&] { (void)piece_at(none, 0); }), subscript_out_of_range);
}

TEST(Text, TrimCaseAndSingleLine) {
    EXPECT_EQ(trim_spaces("  70  "), "70");
    EXPECT_EQ(trim_spaces("\t70"), "\t70");
    EXPECT_TRUE(starts_with_ignoring_case("Score,1,x", "score,1"));
    EXPECT_FALSE(starts_with_ignoring_case("Sc", "score"));
    EXPECT_EQ(single_line("a\r\nb\nc"), "a  b c");
}

TEST(DateTime, CabinetFormsAndCarry) {
    const date_time t{2026, 12, 7, 9, 5, 3};
    EXPECT_EQ(short_date(t), "07/12/2026");
    EXPECT_EQ(long_time(t), "09:05:03");
    EXPECT_EQ(hiscore_stamp(t), "09:05 07/12/2026");
    EXPECT_EQ(meter_stamp(t), "09:05:03 07/12/2026");
    EXPECT_EQ(add_seconds(date_time{2026, 12, 31, 23, 59, 59}, 1), (date_time{2027, 1, 1, 0, 0, 0}));
}

}  // namespace
}  // namespace quizhost

// Money through the real program: a refused payment, a transcript whose reader went away, and what the
// preflight and the metrics export say of money a host left in flight.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "recall/recall_format.hpp"
#include "support/e2e.hpp"

namespace quizhost::testing {
namespace {

using ::testing::HasSubstr;

// The demo cabinet's files with the stand-in credit library and `credit` credits in its purse.
void library_cabinet(const cabinet& cab, int credit) {
    cab.make_priced();
    cab.install(credit_library_file);
    cab.write("credit_state.txt", "credit," + std::to_string(credit) + "\r\nbank,0\r\n");
}

TEST(MoneyEndToEnd, ARefusedPaymentIsRecalledAsRefusedWithTheLibrarysAnswer) {
    cabinet cab;
    library_cabinet(cab, 10);
    const run_result r = cab.play("fs\tUSE_CREDIT\nfs\tCLOSE_ALL\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string recall = cab.read("system/logs/recall.txt");
    EXPECT_THAT(recall, HasSubstr("\tresult=refused\tanswer=1"));
    EXPECT_THAT(recall, HasSubstr("\tpay=refused\t"));
    EXPECT_THAT(recall, ::testing::Not(HasSubstr("pay=credit")));
    const run_result shown = run_program(bin_path("quizhost"), {"recall", "--root", cab.root()});
    EXPECT_THAT(shown.out, HasSubstr("USE_CREDIT refused, nothing taken (1)"));
}

TEST(MoneyEndToEnd, ATranscriptWhoseReaderWentAwayEndsTheRunInOrderWithTheGameRecalled) {
#ifdef _WIN32
    GTEST_SKIP() << "the reader that goes away is a POSIX shell's pipe";
#endif
    cabinet cab;
    library_cabinet(cab, 1000);
    std::string script = "clock\t2026-12-07 14:05:09\nfs\tINTRO_END\nfs\tUSE_CREDIT\nfs\tSTART_GAME\n";
    for (int i = 0; i < 3000; ++i) script += "fs\tGET_CREDIT\n";
    cab.write("long.script", script);
    // The reader goes once it has seen the price taken; the host's next transcript line finds the pipe
    // closed, and the command in hand is the last.
    const run_result r = run_program(
        "/bin/bash", {"-c", "'" + bin_path("quizhost") + "' --root '" + cab.root() + "' --script '" +
                                cab.path("long.script") + "' | grep -m1 -q cuse; echo \"status ${PIPESTATUS[0]}\""});
    EXPECT_THAT(r.out, HasSubstr("status 0")) << r.err;
    EXPECT_THAT(r.err, HasSubstr("the transcript could no longer be written"));
    const std::string recall = cab.read("system/logs/recall.txt");
    EXPECT_THAT(recall, HasSubstr("\tresult=taken\t"));
    EXPECT_THAT(recall, HasSubstr("ended=a transcript that could no longer be written"));
    EXPECT_THAT(cab.read("credit_state.txt"), HasSubstr("credit,950"));
}

TEST(MoneyEndToEnd, MoneyLeftInFlightIsAWarningOfThePreflightAndCountedInTheMetrics) {
    cabinet cab;
    library_cabinet(cab, 1000);
    ASSERT_EQ(cab.play("fs\tCLOSE_ALL\n").status, 0);
    // A host killed right after it asked for a game's price.
    recall_record pay{"pay",
                      {{"seq", "1"},
                       {"at", "2026-12-07 14:05:09"},
                       {"game", "1"},
                       {"channel", "library"},
                       {"call", "cuse 50"},
                       {"price", "50"},
                       {"credit", "1000"},
                       {"bank", "0"}}};
    cab.write("system/logs/recall.txt", format_recall_record(pay) + "\r\n");
    const run_result check = run_program(bin_path("quizhost"), {"check", "--root", cab.root()});
    EXPECT_THAT(check.out + check.err, HasSubstr("has no answer recorded (in doubt)"));
    const run_result metrics =
        run_program(bin_path("quizhost"), {"meters", "--root", cab.root(), "--format", "openmetrics"});
    EXPECT_THAT(metrics.out, HasSubstr("quizhost_payments_in_doubt_total{cabinet="));
    // The sample line, whatever its labels, counts the one payment in doubt.
    const auto at = metrics.out.find("\nquizhost_payments_in_doubt_total{");
    ASSERT_NE(at, std::string::npos) << metrics.out;
    const std::string sample = metrics.out.substr(at + 1, metrics.out.find('\n', at + 1) - at - 1);
    EXPECT_THAT(sample, ::testing::EndsWith("} 1")) << sample;

    // The next start closes it, with a line in the log.
    ASSERT_EQ(cab.play("fs\tCLOSE_ALL\n").status, 0);
    EXPECT_THAT(cab.read("system/logs/log.txt"),
                HasSubstr("*ERROR* Payment in doubt: 50 credits asked of the credit library"));
    const run_result shown = run_program(bin_path("quizhost"), {"recall", "--root", cab.root()});
    EXPECT_THAT(shown.out, HasSubstr("the host ended before it was settled"));
}

}  // namespace
}  // namespace quizhost::testing

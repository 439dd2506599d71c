// The stand-in tccomm.dll of the Windows build, bound as a cabinet's own: beside the program, entry points
// by their plain names with the standard calling convention, its credit in credit_state.txt beside it.
#include <gtest/gtest.h>

#ifdef _WIN32

#include <filesystem>

#include "platform/credit_library.hpp"
#include "support/e2e.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using testing::test_host;

TEST(Win32TccommStandIn, AnswersTakesAndAddsThroughTheDllBesideTheProgram) {
    test_host t;
    std::filesystem::copy_file(testing::bin_path("tccomm.dll"), t.path("tccomm.dll"));
    t.write("credit_state.txt", "credit,150\r\nbank,20\r\n");
    auto library = make_native_credit_library(t.folder.path());
    EXPECT_EQ(library->cget(), 150);
    EXPECT_EQ(library->bget(), 20);
    EXPECT_EQ(library->cuse(50), 0);
    EXPECT_EQ(library->cuse(500), 1);  // short: nothing taken
    EXPECT_EQ(library->badd(12), 0);
    EXPECT_EQ(library->cget(), 100);
    EXPECT_EQ(library->bget(), 32);
    EXPECT_EQ(t.read("credit_state.txt"), "credit,100\r\nbank,32\r\n");
}

}  // namespace
}  // namespace quizhost

#endif

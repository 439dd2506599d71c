// The machine's credit library and shell loaded by name from the cabinet folder, over the stand-ins the
// project builds: binding at the first call, the failures of a missing or broken library, and the
// stand-ins' own state file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "definitions.hpp"
#include "platform/client_shell.hpp"
#include "platform/credit_library.hpp"
#include "support/e2e.hpp"
#include "support/run_time_errors.hpp"
#include "support/test_host.hpp"

// The stand-ins as shared libraries of this system; the Windows build has tccomm.dll only, tested in
// win32_credit_library_test.
#ifndef _WIN32

namespace quizhost {
namespace {

using ::testing::HasSubstr;

using testing::error_of;

// A cabinet folder holding a copy of a stand-in under the name the host looks for.
struct standin_cabinet : testing::test_host {
    void install(const std::string& built, const std::string& as) const {
        std::filesystem::copy_file(testing::bin_path(built), path(as),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    std::string state() const { return read("credit_state.txt"); }
};

// --- the credit library ------------------------------------------------------------------------------

TEST(NativeCreditLibrary, AnswersFromTheStateFileBesideTheLibrary) {
    standin_cabinet t;
    t.install("libtccomm.so", "libtccomm.so");
    t.write("credit_state.txt", "# cabinet 7\r\ncredit,150\r\nbank,20\r\n");
    const auto library = make_native_credit_library(t.host.program_folder);
    EXPECT_EQ(library->cget(), 150);
    EXPECT_EQ(library->bget(), 20);
    EXPECT_EQ(library->cuse(50), 0);
    EXPECT_EQ(library->badd(12), 0);
    EXPECT_EQ(t.state(), "# cabinet 7\r\ncredit,100\r\nbank,32\r\n");
    EXPECT_FALSE(t.exists("credit_state.txt.new"));
}

TEST(NativeCreditLibrary, StandInRefusesWhatItCannotDoAndChangesNothing) {
    standin_cabinet t;
    t.install("libtccomm.so", "libtccomm.so");
    t.write("credit_state.txt", "credit,40\r\n");
    const auto library = make_native_credit_library(t.host.program_folder);
    EXPECT_EQ(library->cuse(50), 1);   // credit short
    EXPECT_EQ(library->cuse(-5), -1);  // nonsense price
    EXPECT_EQ(library->badd(-5), -1);
    EXPECT_EQ(t.state(), "credit,40\r\n");
    EXPECT_EQ(library->bget(), 0);  // a missing record is 0
}

TEST(NativeCreditLibrary, AMissingStateFileIsCreatedByTheFirstChange) {
    standin_cabinet t;
    t.install("libtccomm.so", "libtccomm.so");
    const auto library = make_native_credit_library(t.host.program_folder);
    EXPECT_EQ(library->cget(), 0);
    EXPECT_FALSE(t.exists("credit_state.txt"));
    EXPECT_EQ(library->badd(7), 0);
    EXPECT_EQ(t.state(), "bank,7\r\n");
}

TEST(NativeCreditLibrary, NothingIsLoadedBeforeTheFirstCallAndAMissingLibraryIsFileNotFound) {
    standin_cabinet t;
    const auto library = make_native_credit_library(t.host.program_folder);  // no library anywhere: no error yet
    EXPECT_EQ(error_of([&] { library->cget(); }), file_not_found);
    EXPECT_EQ(error_of([&] { library->badd(1); }), file_not_found);
}

TEST(NativeCreditLibrary, AFileThatIsNoLibraryIsErrorInLoadingDll) {
    standin_cabinet t;
    t.write("libtccomm.so", "not a shared library\n");
    const auto library = make_native_credit_library(t.host.program_folder);
    EXPECT_EQ(error_of([&] { library->cget(); }), error_loading_dll);
}

TEST(NativeCreditLibrary, ALibraryWithoutTheEntryPointIsDllFunctionNotFound) {
    standin_cabinet t;
    t.install("libclientshell.so", "libtccomm.so");
    const auto library = make_native_credit_library(t.host.program_folder);
    EXPECT_EQ(error_of([&] { library->cget(); }), dll_function_not_found);
    EXPECT_EQ(error_of([&] { library->cuse(50); }), dll_function_not_found);
}

// --- the shell ---------------------------------------------------------------------------------------

struct shell_standin : standin_cabinet {
    shell_standin() {
        install("libclientshell.so", "libclientshell.so");
        write("credit_state.txt", "shell,running\r\ncredit,150\r\nbank,80\r\nstakes,0,0,0,25,40,0,0,0,0,0\r\n");
    }
};

TEST(NativeClientShell, AttachesToTheRunningShellAndCallsItsMethods) {
    shell_standin t;
    const auto shell = make_native_client_shell(t.host.program_folder);
    const auto object = shell->attach();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetCredit(), 150);
    EXPECT_EQ(object->GetBank(), 80);
    for (std::int16_t level = 0; level < 3; ++level) EXPECT_EQ(object->GetStake(level), 0);
    std::int16_t level = 3;
    EXPECT_EQ(object->GetStake(level), 25);
    std::int32_t stake_index = 3;
    object->UseCreditEx(stake_index);
    object->UseCreditFromBankEx(stake_index);
    object->AddToBank(12.5);
    object->FreeGameStarted();
    EXPECT_EQ(object->GetCredit(), 125);
    EXPECT_EQ(object->GetBank(), 67.5);
    EXPECT_THAT(t.state(), HasSubstr("free_games,1\r\n"));
}

TEST(NativeClientShell, AGameTheBalanceCannotPayTakesNothing) {
    shell_standin t;
    t.write("credit_state.txt", "shell,running\r\ncredit,10\r\nbank,10\r\nstakes,25\r\n");
    const auto object = make_native_client_shell(t.host.program_folder)->attach();
    std::int32_t stake_index = 0;
    object->UseCreditEx(stake_index);
    object->UseCreditFromBankEx(stake_index);
    EXPECT_EQ(t.state(), "shell,running\r\ncredit,10\r\nbank,10\r\nstakes,25\r\n");
    stake_index = 10;
    EXPECT_EQ(error_of([&] { object->UseCreditEx(stake_index); }), invalid_procedure_call);
    EXPECT_EQ(error_of([&] { object->AddToBank(-1); }), invalid_procedure_call);
}

// A sum beyond any number has no text that reads back: the stand-ins refuse it and keep the state file
// as it was, rather than write a word that the next reading takes for 0.
TEST(NativeClientShell, ABankBeyondAnyNumberIsRefusedAndTheStateKept) {
    shell_standin t;
    const std::string largest = "bank,1" + std::string(308, '0') + "\r\n";  // 1e308: the next one overflows
    const std::string state = "shell,running\r\ncredit,150\r\n" + largest + "stakes,25\r\n";
    t.write("credit_state.txt", state);
    const auto object = make_native_client_shell(t.host.program_folder)->attach();
    EXPECT_NE(error_of([&] { object->AddToBank(1e308); }), 0);
    EXPECT_EQ(t.state(), state);
    object->AddToBank(1);  // lost in the rounding, but a number
    EXPECT_EQ(object->GetBank(), 1e308);
}

TEST(NativeCreditLibrary, ABankAlreadyBeyondAnyNumberTakesNoAddition) {
    standin_cabinet t;
    t.install("libtccomm.so", "libtccomm.so");
    const std::string state = "credit,40\r\nbank," + std::string(400, '9') + "\r\n";
    t.write("credit_state.txt", state);
    const auto library = make_native_credit_library(t.host.program_folder);
    EXPECT_NE(library->badd(12), 0);
    EXPECT_EQ(t.state(), state);
}

TEST(NativeClientShell, AShellThatIsNotRunningCannotBeAttached) {
    shell_standin t;
    t.write("credit_state.txt", "shell,stopped\r\ncredit,150\r\n");
    EXPECT_EQ(error_of([&] { make_native_client_shell(t.host.program_folder)->attach(); }), cannot_create_object);
    t.write("credit_state.txt", "credit,150\r\n");
    EXPECT_EQ(error_of([&] { make_native_client_shell(t.host.program_folder)->attach(); }), cannot_create_object);
}

TEST(NativeClientShell, AShellThatWentAwayFailsEveryMethod) {
    shell_standin t;
    const auto object = make_native_client_shell(t.host.program_folder)->attach();
    t.write("credit_state.txt", "credit,150\r\n");
    EXPECT_EQ(error_of([&] { object->GetCredit(); }), 440);
    EXPECT_EQ(error_of([&] { object->FreeGameStarted(); }), 440);
    EXPECT_EQ(t.state(), "credit,150\r\n");
}

TEST(NativeClientShell, NoShellLibraryOrOneWithoutAttachIsNotRunning) {
    standin_cabinet t;
    EXPECT_EQ(error_of([&] { make_native_client_shell(t.host.program_folder)->attach(); }), cannot_create_object);
    t.install("libtccomm.so", "libclientshell.so");
    EXPECT_EQ(error_of([&] { make_native_client_shell(t.host.program_folder)->attach(); }), cannot_create_object);
}

}  // namespace
}  // namespace quizhost

#endif

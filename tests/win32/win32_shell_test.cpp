// The shell object reached the Windows way: the running instance from the running object table, called
// late-bound by name with the argument types the shell's methods declare.
#include <gtest/gtest.h>

#ifdef _WIN32

#include "definitions.hpp"
#include "platform/win32/win32_factories.hpp"
#include "support/automation_standin.hpp"
#include "support/run_time_errors.hpp"

namespace quizhost {
namespace {

using testing::automation_standin;

constexpr const char* standin_prog_id = "QuizhostTest.ShellStandIn";

using testing::error_of;

class AutomationShell : public ::testing::Test {
protected:
    automation_standin shell;
    std::unique_ptr<client_shell> link = win32::make_automation_client_shell(standin_prog_id);

    void SetUp() override { shell.register_running(standin_prog_id); }
};

TEST_F(AutomationShell, ReadsCreditAndBankAsNumbers) {
    shell.answers["GetCredit"] = 150;
    shell.answers["GetBank"] = 12.5;
    auto object = link->attach();
    EXPECT_EQ(object->GetCredit(), 150);
    EXPECT_EQ(object->GetBank(), 12.5);
    ASSERT_EQ(shell.calls.size(), 2U);
    EXPECT_EQ(shell.calls[0].method, "GetCredit");
    EXPECT_TRUE(shell.calls[0].types.empty());
}

TEST_F(AutomationShell, GetStakePassesASixteenBitLevelInAVariantByReference) {
    shell.stakes[3] = 5;
    auto object = link->attach();
    for (std::int16_t level = 0; level <= 3; ++level) {
        std::int16_t asked = level;
        EXPECT_EQ(object->GetStake(asked), level == 3 ? 5 : 0);
        EXPECT_EQ(asked, level);
    }
    ASSERT_EQ(shell.calls.size(), 4U);
    const auto& call = shell.calls[3];
    EXPECT_EQ(call.method, "GetStake");
    ASSERT_EQ(call.types.size(), 1U);
    EXPECT_EQ(call.types[0], VT_VARIANT | VT_BYREF);
    EXPECT_EQ(call.inner[0], VT_I2);
    EXPECT_EQ(call.values[0], 3);
}

TEST_F(AutomationShell, UseCreditPassesTheStakeIndexByReferenceAndTakesItBack) {
    auto object = link->attach();
    std::int32_t stake_index = 7;
    object->UseCreditEx(stake_index);
    EXPECT_EQ(stake_index, 7);
    shell.write_back_index = 2;
    object->UseCreditFromBankEx(stake_index);
    EXPECT_EQ(stake_index, 2);  // what the shell wrote through the reference reaches the host's variable
    ASSERT_EQ(shell.calls.size(), 2U);
    for (const auto& call : shell.calls) {
        ASSERT_EQ(call.types.size(), 1U) << call.method;
        EXPECT_EQ(call.types[0], VT_I4 | VT_BYREF) << call.method;
        EXPECT_EQ(call.values[0], 7) << call.method;
    }
    EXPECT_EQ(shell.calls[1].method, "UseCreditFromBankEx");
}

TEST_F(AutomationShell, AddToBankPassesADoubleByValue) {
    auto object = link->attach();
    object->AddToBank(250.75);
    object->FreeGameStarted();
    ASSERT_EQ(shell.calls.size(), 2U);
    EXPECT_EQ(shell.calls[0].method, "AddToBank");
    EXPECT_EQ(shell.calls[0].types, std::vector<VARTYPE>{VT_R8});
    EXPECT_EQ(shell.calls[0].values[0], 250.75);
    EXPECT_EQ(shell.calls[1].method, "FreeGameStarted");
    EXPECT_TRUE(shell.calls[1].types.empty());
}

TEST_F(AutomationShell, FailuresBecomeRunTimeErrors) {
    auto object = link->attach();
    // A method that fails inside the shell: "Automation error", with the shell's own words in the detail.
    shell.failing_method = "GetCredit";
    try {
        object->GetCredit();
        FAIL() << "no error";
    } catch (const run_time_error& e) {
        EXPECT_EQ(e.number(), 440);
        EXPECT_NE(e.detail().find("coin mech jammed"), std::string::npos) << e.detail();
    }
    shell.failing_method.clear();
    // An answer that is no number where the host needs one.
    shell.answer_type = VT_BSTR;
    EXPECT_EQ(error_of([&] { object->GetBank(); }), type_mismatch);
}

TEST_F(AutomationShell, TheHostLetsGoOfTheObjectWhenDone) {
    const LONG before = shell.references();
    {
        auto object = link->attach();
        EXPECT_GT(shell.references(), before);
    }
    EXPECT_EQ(shell.references(), before);
}

TEST_F(AutomationShell, NoRunningInstanceIsError429) {
    shell.revoke();
    EXPECT_EQ(error_of([&] { link->attach(); }), cannot_create_object);
    // Never registered at all: the same for the host.
    EXPECT_EQ(error_of([&] { win32::make_automation_client_shell("QuizhostTest.NeverRegistered")->attach(); }),
              cannot_create_object);
}

TEST(CabinetShell, TheMachinesShellIsLookedUpByItsProgIdAndNotStarted) {
    // No cabinet shell runs (or is installed) here: attaching must fail with 429, not start anything.
    auto shell = make_native_client_shell("C:\\cabinet");
    EXPECT_EQ(error_of([&] { shell->attach(); }), cannot_create_object);
}

}  // namespace
}  // namespace quizhost

#endif

// Who answers on the credit port: a listener of another local user is refused before anything is sent to
// it, by the host's credit commands (the fatal path, with the detail) and by the preflight; root's and the
// host's own user's are trusted, and so is a user the operator names. The rules themselves run
// everywhere; the other users are real (nobody, through setpriv) and need root and Linux.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "credit/credit_link.hpp"
#include "platform/loopback_socket.hpp"
#include "platform/socket_owner.hpp"
#include "support/credit_service_process.hpp"
#include "support/e2e.hpp"
#include "support/test_host.hpp"

namespace quizhost::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

socket_owner owner(std::string user, bool administrator = false, bool this_user = false) {
    return socket_owner{std::move(user), administrator, this_user};
}

TEST(CreditListenerOwner, RootTheHostsOwnUserAndTheNamedUserMayAnswerNoOneElse) {
    EXPECT_EQ(credit_listener_refusal(owner("root", true), 7475, ""), "");
    EXPECT_EQ(credit_listener_refusal(owner("quizhost", false, true), 7475, ""), "");
    EXPECT_EQ(credit_listener_refusal(owner("tollcredit"), 7475, "tollcredit"), "");
    // Named exactly on Linux: another spelling is another user.
    EXPECT_NE(credit_listener_refusal(owner("Tollcredit"), 7475, "tollcredit"), "");
    EXPECT_NE(credit_listener_refusal(owner("tollcredit2"), 7475, "tollcredit"), "");
    const std::string refused = credit_listener_refusal(owner("nobody"), 7500, "tollcredit");
    EXPECT_THAT(refused, HasSubstr("the listener on 127.0.0.1:7500 belongs to nobody"));
    EXPECT_THAT(refused, HasSubstr("tollcredit (--credit-service-user)"));
    EXPECT_THAT(refused, HasSubstr("nothing was sent to it"));
    EXPECT_THAT(credit_listener_refusal(owner("nobody"), 7475, ""),
                HasSubstr("a user named with --credit-service-user"));
}

TEST(CreditListenerOwner, AWindowsAccountMatchesWithOrWithoutItsDomainInAnyCase) {
    EXPECT_EQ(credit_listener_refusal(owner(R"(CABINET\TollCredit)"), 7475, "tollcredit"), "");
    EXPECT_EQ(credit_listener_refusal(owner(R"(CABINET\TollCredit)"), 7475, R"(cabinet\tollcredit)"), "");
    EXPECT_NE(credit_listener_refusal(owner(R"(OTHER\TollCredit)"), 7475, R"(cabinet\tollcredit)"), "");
    EXPECT_NE(credit_listener_refusal(owner(R"(CABINET\Guest)"), 7475, "tollcredit"), "");
}

TEST(SocketOwner, KnowsThisProcesssOwnListenerAndBothEndsOfItsConnection) {
    auto listener = listen_on_loopback(0);
    std::string why;
    const auto listening = loopback_listener_owner(listener->port(), why);
    ASSERT_TRUE(listening.has_value()) << why;
    // Wine sometimes names the system as a socket's owner; either way it is no other user's.
    EXPECT_TRUE(listening->this_user || listening->administrator) << listening->user;
    EXPECT_FALSE(listening->user.empty());
    // A connection, asked from the server's side before it is even accepted, and from the client's.
    std::string refusal = "not asked";
    exchange_bounds bounds;
    bounds.reply = std::chrono::milliseconds(200);
    bounds.vet_peer = [&](int local_port) {
        bool refused = false;
        refusal = vet_credit_service(listener->port(), local_port, "", refused);
        const auto client = loopback_connection_owner(connection_end::client, listener->port(), local_port, why);
        if (!client || !(client->this_user || client->administrator)) {
            return std::string("the client's end is not ours: " + why);
        }
        return refusal;
    };
    const exchange_outcome outcome = exchange_line(listener->port(), "GET_CREDIT \r\n", bounds);
    EXPECT_EQ(refusal, "");
    EXPECT_THAT(outcome.failure, HasSubstr("no reply line")) << "refused by the check: " << outcome.failure;
    const int port = listener->port();
    listener.reset();
    EXPECT_FALSE(loopback_listener_owner(port, why).has_value());
    EXPECT_THAT(why, HasSubstr("nothing listens on 127.0.0.1:" + std::to_string(port)));
}

#ifndef _WIN32

// Runs programs as nobody, as another local user of the cabinet would.
const std::vector<std::string> as_nobody = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};

bool can_be_nobody() { return ::geteuid() == 0 && ::access(as_nobody[0].c_str(), X_OK) == 0; }

class ForeignCreditListener : public ::testing::Test {
protected:
    void SetUp() override {
        if (!can_be_nobody()) GTEST_SKIP() << "needs root and setpriv to run a listener as another user";
        cab.make_priced();
        cab.write("flg_meridian.dat", "");
        // The impostor's own folder, where nobody may write its state.
        std::filesystem::permissions(impostor_folder.path(), std::filesystem::perms::all);
        state = impostor_folder.path() + "/credit_state.txt";
        write_file(state, "credit,9999\r\n");
        std::filesystem::permissions(state, std::filesystem::perms::all);
    }

    static void write_file(const std::string& path, const std::string& text) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
    static std::string read_file(const std::string& path) {
        std::string text;
        if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
            char buffer[4096];
            for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, got);
            std::fclose(f);
        }
        return text;
    }

    cabinet cab;
    temp_folder impostor_folder;
    std::string state;
};

TEST_F(ForeignCreditListener, IsRefusedBeforeAnythingIsSentAndTheGameEndsThroughTheFatalPath) {
    credit_service_process impostor(state, {}, as_nobody);
    const std::string port = std::to_string(impostor.port());
    for (const char* command : {"fs\tGET_CREDIT\n", "fs\tADD_TO_BANK\t10000\n", "fs\tUSE_CREDIT\n"}) {
        const run_result r = cab.play(command, {"--credit-port", port});
        // The goodbye at the end of the fatal path goes to the same listener and is refused too, as it
        // fails when no service answers: the shutdown's own status, with its detail.
        EXPECT_EQ(r.status, exit_intro_failed) << command << r.err;
        EXPECT_THAT(r.err, HasSubstr("the listener on 127.0.0.1:" + port + " belongs to nobody")) << command;
        EXPECT_THAT(r.err, HasSubstr("nothing was sent to it"));
        EXPECT_THAT(r.out, Not(HasSubstr("9999")));
        EXPECT_THAT(r.out, Not(HasSubstr("set\tvb_credit")));
    }
    EXPECT_THAT(cab.read("system/logs/log.txt"), HasSubstr("ERROR! 70 - Permission denied.  Game Terminated."));
    // The impostor heard nothing: its state is as it was (ADD_BANK and USE_CREDIT would have changed it).
    EXPECT_EQ(read_file(state), "credit,9999\r\n");
    // No game was counted.
    EXPECT_THAT(cab.read("system/logs/meter.txt"), Not(HasSubstr("M1,1\r\n")));

    // The preflight names it, and sends it nothing either.
    const run_result check =
        run_program(bin_path("quizhost"), {"check", "--root", cab.root(), "--credit-port", port, "--http-port", "0"});
    EXPECT_EQ(check.status, 2) << check.out;
    EXPECT_THAT(check.out, HasSubstr("flg_meridian.dat: error: flg_meridian.dat: the host refuses the local credit "
                                     "service: the listener on 127.0.0.1:" +
                                     port + " belongs to nobody"));
    EXPECT_EQ(read_file(state), "credit,9999\r\n");
}

TEST_F(ForeignCreditListener, IsTrustedOnceTheOperatorNamesItsUser) {
    credit_service_process service(state, {}, as_nobody);
    const std::string port = std::to_string(service.port());
    const run_result r =
        cab.play("fs\tGET_CREDIT\nfs\tCLOSE_ALL\n", {"--credit-port", port, "--credit-service-user", "nobody"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("set\tvb_credit\t9999"));
    const run_result check = run_program(bin_path("quizhost"), {"check", "--root", cab.root(), "--credit-port", port,
                                                                "--credit-service-user", "nobody", "--http-port", "0"});
    EXPECT_THAT(check.out, HasSubstr("answers GET_CREDIT (it only reads) with 9999")) << check.out;
}

TEST_F(ForeignCreditListener, TheServiceOfRootIsTrustedAsEver) {
    const std::string own_state = cab.path("credit_state.txt");
    write_file(own_state, "credit,120\r\n");
    credit_service_process service(own_state);
    const std::string port = std::to_string(service.port());
    const run_result r = cab.play("fs\tGET_CREDIT\nfs\tUSE_CREDIT\nfs\tCLOSE_ALL\n", {"--credit-port", port});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("set\tvb_credit\t120"));
    EXPECT_THAT(read_file(own_state), HasSubstr("credit,70"));
    const run_result check =
        run_program(bin_path("quizhost"), {"check", "--root", cab.root(), "--credit-port", port, "--http-port", "0"});
    EXPECT_THAT(check.out, HasSubstr("answers GET_CREDIT (it only reads) with 70")) << check.out;
}

#endif

}  // namespace
}  // namespace quizhost::testing

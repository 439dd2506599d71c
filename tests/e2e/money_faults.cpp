// Faults injected into the real program while it plays paid games with the stand-in credit systems:
// SIGKILL at random moments (credit library and credit service), the cabinet's disk remounted read-only
// under a running host, and the disk filled up. After each fault the host is started again (its start-up
// closes what was in flight) and the books must balance: every price the stand-in took and every amount
// it added to the bank is in the recall (settled, unfinished or in doubt), nothing is there that the
// stand-in did not move, and the meters count exactly the games the recall holds as settled.
//
// Its own executable and ctest test (label "faults"), bounded to well under a minute and a half on a busy
// machine; the mount faults need root and unshare, and are skipped with the reason otherwise.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "basic/numbers.hpp"
#include "platform/file_system.hpp"
#include "recall/recall_format.hpp"
#include "recall/recall_money.hpp"
#include "recall/recall_report.hpp"
#include "records/text_records.hpp"
#include "support/credit_service_process.hpp"
#include "support/e2e.hpp"

namespace quizhost::testing {
namespace {

namespace fs = std::filesystem;

constexpr double opening_credit = 1000000;
// Under the sanitizers every start of the program is several times slower: fewer tries keep the suite
// within its bound there, and still reach every kind of fault.
#ifdef __SANITIZE_ADDRESS__
constexpr int tries_scale = 4;
#else
constexpr int tries_scale = 1;
#endif
constexpr int price = 50;  // the demo cabinet's price
constexpr int prize = 100;

// A script of `games` paid games; each pays, plays two questions, settles a prize and adds it to the bank.
std::string paid_games(int games) {
    std::string script = "clock\t2026-12-07 14:05:09\nfs\tINTRO_END\n";
    for (int g = 0; g < games; ++g) {
        script += "clock\t+60\nfs\tGET_CREDIT\nfs\tGET_BANK\nfs\tUSE_CREDIT\nfs\tSTART_GAME\n";
        for (int q = 1; q <= 2; ++q) script += "fs\tGET_QUESTION\t" + std::to_string(q) + ",T\nfs\tANSWERED\t1,1\n";
        script +=
            "fs\tUPDATE_METERS\t2," + std::to_string(prize) + ",0,0\nfs\tADD_TO_BANK\t" + std::to_string(prize) + "\n";
    }
    return script;
}

const std::string restart_script = "fs\tINTRO_END\nfs\tCLOSE_ALL\n";

void put(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A demo cabinet copied into `root`, on the library or the socket platform.
void lay_out_cabinet(const std::string& root, bool socket) {
    fs::create_directories(root);
    fs::copy(std::string(QUIZHOST_SOURCE_DIR) + "/demo/cabinet", root, fs::copy_options::recursive);
    fs::remove(root + "/credit_state.txt");
    if (socket) {
        put(root + "/flg_meridian.dat", "");
    } else {
        fs::copy_file(bin_path(credit_library_file), root + "/" + credit_library_file);
        put(root + "/credit_state.txt", "credit,1000000\r\nbank,0\r\n");
    }
}

// What the stand-in moved, and what the recall and the meters say of it.
struct books {
    double taken = 0, added = 0;             // by the stand-in
    double sure_taken = 0, doubt_taken = 0;  // in the recall
    double sure_added = 0, doubt_added = 0;
    long settled = 0;        // game records
    double meter_games = 0;  // M1
    bool in_flight = false;  // something the start-up left open
    long damaged = 0;        // recall lines cut short
    std::string why;
};

// Where the books stood when they last balanced: each try is judged on what it added, so a recall whose
// older games have rolled out of its two files still balances.
// What was in doubt and has not yet shown in the stand-in's state is carried on: the credit service
// answers each connection on a thread of its own, so a request the killed host had sent may be carried
// out after the next start-up has closed it in doubt and the books were read.
struct mark {
    double credit = opening_credit, bank = 0, meter_games = 0;
    double last_seq = 0;
    double doubt_taken = 0, doubt_added = 0;
};

books balance(const std::string& cabinet_root, const std::string& state_file, mark& at) {
    books b;
    const auto fsys = make_native_file_system();
    const double credit = leading_number(read_record_field(*fsys, state_file, "credit", 1));
    const double bank = leading_number(read_record_field(*fsys, state_file, "bank", 1));
    b.taken = at.credit - credit;
    b.added = bank - at.bank;
    const std::string system_path = cabinet_root + "/system/";
    const auto contents = read_recall_files(*fsys, system_path);
    // Each intent by its seq, and what became of it.
    std::map<std::string, const recall_record*> intents;
    money_ledger ledger;
    double newest = at.last_seq;
    for (const auto& r : contents.records) {
        const recall_record& rec = r.record;
        ledger.take(rec);
        const std::string seq = rec.value("seq").value_or("");
        const double number = leading_number(seq);
        if (number <= at.last_seq) continue;
        newest = std::max(newest, number);
        if (rec.kind == payment_kind || rec.kind == bank_kind) intents[seq] = &rec;
        if (rec.kind == payment_outcome_kind || rec.kind == bank_outcome_kind) {
            const auto found = intents.find(rec.value("of").value_or(""));
            if (found == intents.end()) continue;
            const bool pay = rec.kind == payment_outcome_kind;
            const double amount = leading_number(found->second->value(pay ? "price" : "amount").value_or("0"));
            const std::string result = rec.value("result").value_or("");
            if (result == "taken" || result == "added") (pay ? b.sure_taken : b.sure_added) += amount;
            if (result == result_in_doubt) (pay ? b.doubt_taken : b.doubt_added) += amount;
            intents.erase(found);
        }
        // A start-up closes a payment whose answer is missing as a game paid in doubt.
        if (rec.value("closed") && rec.value("pay") == std::string(result_in_doubt))
            b.doubt_taken += leading_number(rec.value("price").value_or("0"));
        if (rec.kind == settled_game_kind) ++b.settled;
    }
    b.in_flight = ledger.anything_in_flight();
    const double m1 = leading_number(read_record_field(*fsys, system_path + "logs/meter.txt", "M1", 1));
    b.meter_games = m1 - at.meter_games;
    b.doubt_taken += at.doubt_taken;
    b.doubt_added += at.doubt_added;
    // What stayed in doubt, not moved by now.
    const double open_taken = std::max(0.0, b.sure_taken + b.doubt_taken - b.taken);
    const double open_added = std::max(0.0, b.sure_added + b.doubt_added - b.added);
    at = {credit, bank, m1, newest, std::min(open_taken, b.doubt_taken), std::min(open_added, b.doubt_added)};
    std::ostringstream why;
    if (b.in_flight) why << "the start-up left money in flight; ";
    if (!(b.sure_taken <= b.taken && b.taken <= b.sure_taken + b.doubt_taken))
        why << "credit taken " << b.taken << ", the recall holds " << b.sure_taken << " taken and " << b.doubt_taken
            << " in doubt; ";
    if (!(b.sure_added <= b.added && b.added <= b.sure_added + b.doubt_added))
        why << "bank added " << b.added << ", the recall holds " << b.sure_added << " added and " << b.doubt_added
            << " in doubt; ";
    if (static_cast<double>(b.settled) != b.meter_games)
        why << "the meters count " << b.meter_games << " games, the recall settles " << b.settled << "; ";
    // A record a full disk cut short is skipped as damaged: what it said is in doubt, which the sums
    // above already allow for.
    b.damaged = static_cast<long>(contents.damage.size());
    b.why = why.str();
    return b;
}

struct figures {
    int tries = 0, survived = 0, lost = 0, games = 0;
    long damaged = 0;
    void print(const char* what) const {
        std::printf(
            "money faults, %s: %d tries, %d survived, %d lost (%d paid games settled, %ld recall lines cut "
            "short and skipped)\n",
            what, tries, survived, lost, games, damaged);
        std::fflush(stdout);
    }
};

// A folder on a memory file system when there is one (a kill does not depend on the disk, and the syncs
// of a few hundred games would stretch the run on a busy one), else a temporary folder; removed at the end.
class kill_folder {
public:
    kill_folder() {
        std::error_code failed;
        const bool memory = fs::is_directory("/dev/shm", failed) && ::access("/dev/shm", W_OK) == 0;
        const fs::path base = memory ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::random_device device;
        do {
            path_ = (base / ("quizhost-faults-" + std::to_string(device()))).string();
        } while (!fs::create_directory(path_));
    }
    ~kill_folder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    kill_folder(const kill_folder&) = delete;
    kill_folder& operator=(const kill_folder&) = delete;
    const std::string& root() const { return path_; }

private:
    std::string path_;
};

// Kills the host at random moments of its paid games, restarts it, and checks the books each time.
figures kill_at_random(bool socket, int tries, unsigned seed) {
    kill_folder scratch;
    const std::string root = scratch.root() + "/cab";
    lay_out_cabinet(root, socket);
    const std::string state = socket ? scratch.root() + "/service/credit_state.txt" : root + "/credit_state.txt";
    if (socket) put(state, "credit,1000000\r\nbank,0\r\n");
    std::unique_ptr<credit_service_process> service;
    std::vector<std::string> port;
    if (socket) {
        service =
            std::make_unique<credit_service_process>(state, std::vector<std::string>{"--price", std::to_string(price)});
        port = {"--credit-port", std::to_string(service->port())};
    }
    const std::string script = scratch.root() + "/games.script";
    const std::string restart = scratch.root() + "/restart.script";
    put(script, paid_games(20));
    put(restart, restart_script);
    auto args = [&](const std::string& file) {
        std::vector<std::string> a{"--root", root, "--script", file};
        a.insert(a.end(), port.begin(), port.end());
        return a;
    };
    // How long start-up and the whole script take here, so the kills land anywhere inside the games.
    const auto micros = [](auto d) { return std::chrono::duration_cast<std::chrono::microseconds>(d).count(); };
    const auto t0 = std::chrono::steady_clock::now();
    const run_result first = run_program(bin_path("quizhost"), args(restart));
    EXPECT_EQ(first.status, 0) << first.err;
    const auto t1 = std::chrono::steady_clock::now();
    const run_result whole = run_program(bin_path("quizhost"), args(script));
    EXPECT_EQ(whole.status, 0) << whole.err;
    const long from_us = micros(t1 - t0) / 2;
    const long to_us = std::max(from_us + 1000, static_cast<long>(micros(std::chrono::steady_clock::now() - t1)));

    std::mt19937 draw(seed);
    mark books_at;
    figures f;
    EXPECT_EQ(balance(root, state, books_at).why, "") << "the run without a fault";
    for (int i = 0; i < tries; ++i) {
        ++f.tries;
        {
            background_program host(bin_path("quizhost"), args(script));
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::uniform_int_distribution<long>(from_us, to_us)(draw)));
            host.kill();
            (void)host.wait();
        }
        const run_result again = run_program(bin_path("quizhost"), args(restart));
        const books b = balance(root, state, books_at);
        if (again.status == 0 && b.why.empty()) {
            ++f.survived;
        } else {
            ++f.lost;
            ADD_FAILURE() << "try " << i << ": " << b.why << " restart status " << again.status << ": " << again.err;
        }
        f.games += static_cast<int>(b.settled);
    }
    return f;
}

TEST(MoneyFaults, SigkillAtRandomMomentsOfPaidGamesOnTheCreditLibrary) {
    const figures f = kill_at_random(false, 200 / tries_scale, 29);
    f.print("SIGKILL, credit library");
    EXPECT_EQ(f.lost, 0);
    EXPECT_GT(f.games, 0);
}

TEST(MoneyFaults, SigkillAtRandomMomentsOfPaidGamesOnTheCreditService) {
    const figures f = kill_at_random(true, 120 / tries_scale, 31);
    f.print("SIGKILL, credit service");
    EXPECT_EQ(f.lost, 0);
    EXPECT_GT(f.games, 0);
}

// ---- The disk under a running host ----

// Why the mount faults cannot run here, or "" when they can.
std::string mount_faults_unavailable() {
    if (::geteuid() != 0) return "needs root to mount (run as root, as CI does)";
    const run_result probe = run_program("/usr/bin/unshare", {"-m", "--propagation", "private", "/bin/true"});
    if (probe.status != 0) return "unshare -m does not work here: " + probe.err;
    return "";
}

// Inside a private mount namespace (gone with it, so nothing stays mounted): a small tmpfs holds the
// cabinet; the host plays paid games on the credit service; after `delay` the disk is remounted
// read-only (`fault` "ro") or filled (`fault` "full"), the host ends as it does, the disk is mended, the
// host is started again, and the cabinet is copied out for the books.
run_result disk_fault(const std::string& scratch, const std::string& fault, double delay_s, int port) {
    const std::string mnt = scratch + "/mnt";
    const std::string out = scratch + "/out";
    fs::remove_all(out);
    fs::create_directories(mnt);
    const std::string host = bin_path("quizhost");
    const std::string p = std::to_string(port);
    std::string inject =
        fault == "ro" ? "mount -o remount,ro \"$M\"" : "dd if=/dev/zero of=\"$M/filler\" bs=4k 2>/dev/null || true";
    std::string mend = fault == "ro" ? "mount -o remount,rw \"$M\"" : "rm -f \"$M/filler\"";
    const std::string body =
        "set -u\nM=\"" + mnt +
        "\"\nmount -t tmpfs -o size=2m quizhost-faults \"$M\"\n"
        "cp -a \"" +
        scratch +
        "/cab\" \"$M/cab\"\n"
        "\"" +
        host + "\" --root \"$M/cab\" --script \"" + scratch + "/games.script\" --credit-port " + p +
        " >/dev/null 2>\"" + scratch + "/host.err\" &\nH=$!\nsleep " + std::to_string(delay_s) + "\n" + inject +
        "\n# The host ends by itself once the disk refuses its writes; it is stopped if it never writes again.\n"
        "for i in $(seq 1 100); do kill -0 $H 2>/dev/null || break; sleep 0.05; done\nkill -9 $H 2>/dev/null\nwait "
        "$H\n" +
        mend + "\n\"" + host + "\" --root \"$M/cab\" --script \"" + scratch + "/restart.script\" --credit-port " + p +
        " >/dev/null 2>\"" + scratch + "/restart.err\"\nR=$?\nrm -rf \"" + scratch + "/cab\"\ncp -a \"$M/cab\" \"" +
        scratch + "/cab\"\numount \"$M\"\nexit $R\n";
    put(scratch + "/fault.sh", body);
    return run_program("/usr/bin/unshare", {"-m", "--propagation", "private", "/bin/sh", scratch + "/fault.sh"});
}

figures disk_faults(const std::string& fault, int tries, unsigned seed) {
    cabinet scratch;
    lay_out_cabinet(scratch.root() + "/cab", true);
    const std::string state = scratch.root() + "/service/credit_state.txt";
    put(state, "credit,1000000\r\nbank,0\r\n");
    credit_service_process service(state, {"--price", std::to_string(price)});
    put(scratch.root() + "/games.script", paid_games(30));
    put(scratch.root() + "/restart.script", restart_script);
    std::mt19937 draw(seed);
    mark books_at;
    figures f;
    for (int i = 0; i < tries; ++i) {
        ++f.tries;
        const double delay = std::uniform_real_distribution<double>(0.02, 0.35)(draw);
        const run_result r = disk_fault(scratch.root(), fault, delay, service.port());
        const books b = balance(scratch.root() + "/cab", state, books_at);
        if (r.status == 0 && b.why.empty()) {
            ++f.survived;
        } else {
            ++f.lost;
            ADD_FAILURE() << fault << " try " << i << " after " << delay << " s: " << b.why << " restart status "
                          << r.status << ": " << r.err << slurp(scratch.root() + "/restart.err");
        }
        f.games += static_cast<int>(b.settled);
        f.damaged = b.damaged;
    }
    return f;
}

TEST(MoneyFaults, TheDiskRemountedReadOnlyUnderARunningHost) {
    if (const std::string why = mount_faults_unavailable(); !why.empty()) GTEST_SKIP() << why;
    const figures f = disk_faults("ro", 12 / tries_scale, 7);
    f.print("read-only remount, credit service");
    EXPECT_EQ(f.lost, 0);
}

TEST(MoneyFaults, TheDiskFillsUpUnderARunningHost) {
    if (const std::string why = mount_faults_unavailable(); !why.empty()) GTEST_SKIP() << why;
    const figures f = disk_faults("full", 12 / tries_scale, 11);
    f.print("full disk, credit service");
    EXPECT_EQ(f.lost, 0);
}

}  // namespace
}  // namespace quizhost::testing

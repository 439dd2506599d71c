// Platform detection and the three credit channels: the credit library, the cabinet shell's object and the
// local credit service. Every call on the link is traced as one "credit" event, so a transcript shows
// exactly what the cabinet's credit system was asked and what it said.
#include "credit/credit_link.hpp"

#include <type_traits>

#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "definitions.hpp"
#include "host.hpp"
#include "platform/client_shell.hpp"
#include "platform/credit_library.hpp"
#include "platform/event_sink.hpp"
#include "platform/loopback_socket.hpp"
#include "platform/paths.hpp"
#include "platform/socket_owner.hpp"
#include "recall/game_recall.hpp"
#include "recall/recall_money.hpp"
#include "records/error_log.hpp"
#include "records/text_records.hpp"

namespace quizhost {
namespace {

constexpr std::int16_t shell_platform = shell_platform_code;
constexpr std::int16_t socket_platform = socket_platform_code;
constexpr std::int16_t no_flag_platform = 2;
constexpr std::int16_t highest_stake_level = 9;
// Calling a method on a shell object the host never attached.
constexpr int object_not_set = 91;

struct platform_flag {
    const char* file_name;
    std::int16_t code;
    const char* log_line;
};

// Tested in this order; the first flag file present decides.
constexpr platform_flag platform_flags[] = {
    {QUIZHOST_SEP "flg_orbital.dat", 1, "ORBITAL Platform"},
    {QUIZHOST_SEP "flg_kestrel.dat", 3, "HARBOUR Platform"},
    {QUIZHOST_SEP "flg_vanta.dat", 2, "VANTA Platform"},
    {QUIZHOST_SEP "flg_meridian.dat", 0, "Meridian Platform"},
};
constexpr const char* no_flag_log_line = "No platform file - assuming DLL interface";

void trace_call(host& h, std::string_view call, std::string_view args, std::string_view result) {
    if (h.io.trace != nullptr) h.io.trace->event({"credit", call, args, result});
}

// Runs one call on the credit link and traces it with its result; a failing call is traced as
// "error N" and its failure goes on up unchanged.
template <typename Call>
auto traced(host& h, std::string_view call, std::string_view args, Call&& run) {
    using result_type = decltype(run());
    try {
        if constexpr (std::is_void_v<result_type>) {
            run();
            trace_call(h, call, args, "");
        } else {
            result_type result = run();
            trace_call(h, call, args, shown_number_text(result));
            return result;
        }
    } catch (const run_time_error& e) {
        trace_call(h, call, args, "error " + std::to_string(e.number()));
        throw;
    }
}

// Money moves only after the recall holds its intent (a failure to write it goes up before the channel is
// asked), and the channel's answer is recorded as soon as it is known: `judge` reads the call's result as
// the outcome and the answer the recall keeps.
struct outcome {
    std::string result;
    std::string answer;
};

template <typename Call, typename Judge>
void moving_money(host& h, const money_move& move, Call&& run, Judge&& judge) {
    recall_money_intent(h, move);
    try {
        if constexpr (std::is_void_v<decltype(run())>) {
            run();
            const outcome o = judge();
            recall_money_outcome(h, o.result, o.answer);
        } else {
            const auto result = run();
            const outcome o = judge(result);
            recall_money_outcome(h, o.result, o.answer);
        }
    } catch (const run_time_error& e) {
        // A call that failed may still have moved the money (a service that took the price and answered
        // too late): the recall cannot tell, so it is in doubt.
        const std::string detail = e.detail().empty() ? "" : " (" + e.detail() + ")";
        recall_money_outcome(h, result_in_doubt,
                             "failed: error " + std::to_string(e.number()) + " - " + e.description() + detail);
        throw;
    }
}

// The channel's name in the recall.
const char* channel_label(const host& h) {
    if (h.credit.platform_code == shell_platform) return "shell";
    if (h.credit.platform_code == socket_platform) return "socket";
    return "library";
}

credit_library& library(host& h) {
    if (h.io.library == nullptr)
        throw run_time_error(file_not_found, error_description(file_not_found), "no credit library");
    return *h.io.library;
}

shell_object& shell(host& h) {
    if (!h.credit.client_shell) {
        throw run_time_error(object_not_set, "Object variable or With block variable not set",
                             "the cabinet shell is not attached");
    }
    return *h.credit.client_shell;
}

// Attaches to the running shell; no new instance is ever created.
void attach_shell(host& h) {
    traced(h, "attach", "", [&h] {
        if (h.io.shell == nullptr) throw run_time_error(cannot_create_object);
        h.credit.client_shell = h.io.shell->attach();
        if (!h.credit.client_shell) throw run_time_error(cannot_create_object);
    });
}

// The first stake level, from 0 up, for which the shell reports a stake above 0.
void find_stake_level(host& h) {
    shell_object& object = shell(h);
    for (std::int16_t level = 0; level <= highest_stake_level; ++level) {
        std::int16_t asked = level;  // the shell takes it by reference
        const double stake = traced(h, "GetStake", number_to_text(level), [&] { return object.GetStake(asked); });
        if (stake > 0) {
            h.credit.stake_index = level;
            return;
        }
    }
}

double shell_get_credit(host& h) {
    return traced(h, "GetCredit", "", [&h] { return shell(h).GetCredit(); });
}

double socket_get(host& h, const char* message) { return reply_as_number(socket_send_message(h, message, "")); }

std::string without_line_end(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return std::string(line);
}

}  // namespace

// Attaching to the shell is the part of the platform check that can fail; then the error reaches the
// start-up's fatal path, after the platform line is already in the log.
platform_choice find_platform(file_system& fs, const std::string& program_folder) {
    platform_choice choice;
    choice.code = no_flag_platform;
    choice.log_line = no_flag_log_line;
    for (const platform_flag& flag : platform_flags) {
        if (!file_exists(fs, program_folder + flag.file_name)) continue;
        const std::string bare = flag.file_name + 1;  // without the separator
        if (!choice.flag_file.empty()) {
            choice.ignored.push_back(bare);
            continue;
        }
        choice.code = flag.code;
        choice.flag_file = bare;
        choice.log_line = flag.log_line;
    }
    return choice;
}

void check_platform(host& h) {
    // Only the first flag file present decides; the later ones are not even tested.
    std::int16_t code = no_flag_platform;
    const char* log_line = no_flag_log_line;
    for (const platform_flag& flag : platform_flags) {
        if (file_exists(*h.io.files, h.program_folder + flag.file_name)) {
            code = flag.code;
            log_line = flag.log_line;
            break;
        }
    }
    h.credit.platform_code = code;
    write_error(h, log_line);
    if (code == shell_platform) {
        attach_shell(h);
        find_stake_level(h);
    }
}

namespace {

// ---------------------------------------------------------------------------------------------------
// The channels, one function per operation and channel.

double library_get_credit(host& h) {
    return traced(h, "cget", "", [&h] { return library(h).cget(); });
}
double library_get_bank(host& h) {
    return traced(h, "bget", "", [&h] { return library(h).bget(); });
}
// The library is asked without a check.
// The library answers 0 when it took or added; the stand-in answers 1 for a credit too short (nothing
// taken) and -1 for a failure. The host's own behaviour never depends on the answer; the recall keeps it.
outcome library_outcome(std::int32_t answer, const char* done) {
    const std::string text = std::to_string(answer);
    if (answer == 0) return {done, text};
    return {answer > 0 ? "refused" : "failed", text};
}
void library_use_credit(host& h) {
    const std::int32_t price = h.money.price_per_play;
    const std::string call = "cuse " + number_to_text(price);
    moving_money(
        h, {payment_kind, "library", call, number_to_text(price), ""},
        [&] { return traced(h, "cuse", number_to_text(price), [&] { return library(h).cuse(price); }); },
        [](std::int32_t answer) { return library_outcome(answer, "taken"); });
    h.credit.last_price_source = "credit";
}
void library_add_to_bank(host& h, double amount, const std::string&) {
    const std::int32_t whole = round_to_int32(amount);
    moving_money(
        h, {bank_kind, "library", "badd " + number_to_text(whole), number_to_text(whole), ""},
        [&] { return traced(h, "badd", number_to_text(whole), [&] { return library(h).badd(whole); }); },
        [](std::int32_t answer) { return library_outcome(answer, "added"); });
}

double shell_get_bank(host& h) {
    return traced(h, "GetBank", "", [&h] { return shell(h).GetBank(); });
}
// The shell takes a game the credit cannot pay for from the bank.
void shell_use_credit(host& h) {
    const double credit = shell_get_credit(h);
    const bool credit_covers = credit >= h.money.price_per_play;
    std::int32_t& stake = h.credit.stake_index;
    const char* method = credit_covers ? "UseCreditEx" : "UseCreditFromBankEx";
    const std::string stake_text = number_to_text(stake);
    moving_money(
        h,
        {payment_kind, "shell", std::string(method) + " " + stake_text, number_to_text(h.money.price_per_play),
         shown_number_text(credit)},
        [&] {
            traced(h, method, stake_text, [&] {
                if (credit_covers) {
                    shell(h).UseCreditEx(stake);
                } else {
                    shell(h).UseCreditFromBankEx(stake);
                }
            });
        },
        [] {
            return outcome{"taken", ""};
        });
    h.credit.last_price_source = credit_covers ? "credit" : "bank";
}
void shell_add_to_bank(host& h, double amount, const std::string&) {
    const std::string sent = shown_number_text(amount);
    moving_money(
        h, {bank_kind, "shell", "AddToBank " + sent, sent, ""},
        [&] { traced(h, "AddToBank", sent, [&] { shell(h).AddToBank(amount); }); },
        [] {
            return outcome{"added", ""};
        });
}
void shell_free_game(host& h) {
    moving_money(
        h, {payment_kind, "shell", "FreeGameStarted", "0", ""},
        [&] { traced(h, "FreeGameStarted", "", [&h] { shell(h).FreeGameStarted(); }); },
        [] {
            return outcome{"taken", "free"};
        });
}
void shell_goodbye(host& h) { h.credit.client_shell.reset(); }

double socket_get_credit(host& h) { return socket_get(h, "GET_CREDIT"); }
double socket_get_bank(host& h) { return socket_get(h, "GET_BANK"); }
// The service has no fallback to the bank: it takes nothing when the credit is short.
// The service's own answer: "OK DONE" took or added, "OK REFUSED" and "ERROR ..." did not. Any other
// answer counts as done, so the recall never lacks money the service may have moved.
outcome socket_outcome(host& h, const char* done) {
    const std::string& reply = h.credit.last_service_reply;
    if (reply.rfind("OK REFUSED", 0) == 0 || reply.rfind("ERROR", 0) == 0) return {"refused", reply};
    return {done, reply};
}
void socket_use_credit(host& h) {
    const double credit = socket_get(h, "GET_CREDIT");
    const bool credit_covers = credit >= h.money.price_per_play;
    if (credit_covers) {
        moving_money(
            h,
            {payment_kind, "socket", "USE_CREDIT", number_to_text(h.money.price_per_play), shown_number_text(credit)},
            [&] { socket_send_message(h, "USE_CREDIT", ""); }, [&] { return socket_outcome(h, "taken"); });
    }
    h.credit.last_price_source = credit_covers ? "credit" : "none";
}
// The service gets the amount exactly as the movie sent it.
void socket_add_to_bank(host& h, double, const std::string& amount_text) {
    const std::string sent = single_line(amount_text);
    moving_money(
        h, {bank_kind, "socket", "ADD_BANK " + sent, sent, ""},
        [&] { socket_send_message(h, "ADD_BANK", amount_text); }, [&] { return socket_outcome(h, "added"); });
}
void socket_goodbye(host& h) { socket_send_message(h, "GAME_EXIT", ""); }

void does_nothing(host&) {}

// A free game on a channel that is told nothing: its intent and outcome still open the game durably.
void free_game_told_nobody(host& h) {
    moving_money(
        h, {payment_kind, channel_label(h), "none", "0", ""}, [] {},
        [] {
            return outcome{"taken", "free"};
        });
}

// One row per credit channel, as the command table has one per command: what each operation of the link
// is on that channel. The library serves every platform code without a row of its own.
struct credit_channel {
    std::int16_t platform_code;
    double (*get_credit)(host&);
    double (*get_bank)(host&);
    void (*use_credit)(host&);
    void (*add_to_bank)(host&, double amount, const std::string& amount_text);
    void (*free_game)(host&);
    void (*goodbye)(host&);
};

constexpr credit_channel shell_channel{shell_platform,    shell_get_credit, shell_get_bank, shell_use_credit,
                                       shell_add_to_bank, shell_free_game,  shell_goodbye};
constexpr credit_channel socket_channel{socket_platform,    socket_get_credit,     socket_get_bank, socket_use_credit,
                                        socket_add_to_bank, free_game_told_nobody, socket_goodbye};
constexpr credit_channel library_channel{no_flag_platform,   library_get_credit,  library_get_bank,
                                         library_use_credit, library_add_to_bank, free_game_told_nobody,
                                         does_nothing};

const credit_channel& channel(const host& h) {
    for (const credit_channel* row : {&shell_channel, &socket_channel}) {
        if (row->platform_code == h.credit.platform_code) return *row;
    }
    return library_channel;
}

// Credit and bank outside this range are a fault of the credit system, never money to show.
constexpr double max_shown_credit = 10000;

double within_shown_bounds(double value) {
    // Written so that a value that is not a number is refused too.
    return value >= 0 && value <= max_shown_credit ? value : 0;
}

}  // namespace

double channel_get_credit(host& h) { return channel(h).get_credit(h); }
double channel_get_bank(host& h) { return channel(h).get_bank(h); }
void channel_use_credit(host& h) { channel(h).use_credit(h); }
void channel_add_to_bank(host& h, double amount, const std::string& amount_text) {
    channel(h).add_to_bank(h, amount, amount_text);
}
void channel_free_game(host& h) { channel(h).free_game(h); }
void channel_goodbye(host& h) { channel(h).goodbye(h); }

double shown_credit(host& h) {
    double credit = channel_get_credit(h);
    // A demo cabinet always shows the price of one game, so it can always be played.
    if (h.start.demo_mode) credit = h.money.price_per_play;
    return within_shown_bounds(credit);
}

double shown_bank(host& h) {
    double bank = within_shown_bounds(channel_get_bank(h));
    // A demo cabinet holds no money.
    if (h.start.demo_mode) bank = 0;
    return bank;
}

std::string service_request(std::string_view message, std::string_view parameters) {
    std::string line = single_line(message);
    line += ' ';
    add_line(line, single_line(parameters));
    return line;
}

namespace {

bool same_account(const std::string& owner, const std::string& allowed) {
    if (owner == allowed) return true;
    // A Windows account reads "DOMAIN\name" and its letter case does not count; the operator may name it
    // with or without its domain.
    const auto slash = owner.rfind('\\');
    if (slash == std::string::npos) return false;
    const std::string compared = allowed.find('\\') == std::string::npos ? owner.substr(slash + 1) : owner;
    return to_upper_ascii(compared) == to_upper_ascii(allowed);
}

}  // namespace

std::string credit_listener_refusal(const socket_owner& owner, int port, const std::string& allowed_user) {
    if (owner.administrator || owner.this_user) return "";
    if (!allowed_user.empty() && same_account(owner.user, allowed_user)) return "";
    return "the listener on 127.0.0.1:" + std::to_string(port) + " belongs to " + owner.user +
           ", not root, the host's own user" +
           (allowed_user.empty() ? std::string(" or a user named with --credit-service-user")
                                 : " or " + allowed_user + " (--credit-service-user)") +
           "; nothing was sent to it";
}

std::string vet_credit_service(int port, int local_port, const std::string& allowed_user, bool& refused) {
    refused = false;
    std::string why;
    const auto owner = loopback_connection_owner(connection_end::server, port, local_port, why);
    if (!owner)
        return "who listens on 127.0.0.1:" + std::to_string(port) + " is not known (" + why +
               "); nothing was sent to it";
    std::string refusal = credit_listener_refusal(*owner, port, allowed_user);
    refused = !refusal.empty();
    return refusal;
}

// The connection and the wait for the reply are bounded; a service that is away, silent or garbled ends
// the command as a missing reply does, with error 9. A service run by a user the cabinet does not allow is
// refused before anything is sent to it: error 70.
service_reply socket_send_message(host& h, const std::string& message, const std::string& parameters) {
    const std::string request = service_request(message, parameters);
    const std::string shown_request = without_line_end(request);
    std::string refusal;
    exchange_bounds bounds;
    bounds.vet_peer = [&](int local_port) {
        bool refused = false;
        std::string why = vet_credit_service(h.credit_port, local_port, h.credit_service_user, refused);
        if (refused) refusal = why;
        return why;
    };
    const exchange_outcome outcome = exchange_line(h.credit_port, request, bounds);
    if (!refusal.empty()) {
        trace_call(h, "socket", shown_request, "error " + std::to_string(permission_denied));
        throw run_time_error(
            permission_denied, error_description(permission_denied),
            "credit service at 127.0.0.1:" + std::to_string(h.credit_port) + ", " + message + ": " + refusal);
    }
    if (!outcome.answered()) {
        trace_call(h, "socket", shown_request, "error " + std::to_string(subscript_out_of_range));
        throw run_time_error(
            subscript_out_of_range, error_description(subscript_out_of_range),
            "credit service at 127.0.0.1:" + std::to_string(h.credit_port) + ", " + message + ": " + outcome.failure);
    }
    h.credit.last_service_reply = without_line_end(outcome.reply);
    trace_call(h, "socket", shown_request, h.credit.last_service_reply);
    return parse_service_reply(outcome.reply);
}

// The line end is cut from the whole reply before it is split, so a value followed by further pieces
// keeps all its characters ("CREDIT 150 \r\n" is 150, not 1).
service_reply parse_service_reply(std::string_view reply) {
    if (reply.size() < 2 || reply.substr(reply.size() - 2) != "\r\n") {
        throw run_time_error(subscript_out_of_range, error_description(subscript_out_of_range),
                             "credit service reply without its line end");
    }
    reply.remove_suffix(2);
    const auto pieces = split_views(reply, ' ');
    const std::string_view kind = piece_at(pieces, 0);
    const std::string_view value = piece_at(pieces, 1);
    if (kind == "CREDIT" || kind == "BANK") return leading_number(value);
    return std::string(value);
}

double reply_as_number(const service_reply& reply) {
    if (const double* number = std::get_if<double>(&reply)) return *number;
    return strict_number(std::get<std::string>(reply));
}

}  // namespace quizhost

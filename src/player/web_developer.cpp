#include "player/web_developer.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "definitions.hpp"
#include "forms/command_reference.hpp"
#include "forms/form_main.hpp"
#include "host.hpp"
#include "meters/meter_report.hpp"
#include "platform/movie_control.hpp"
#include "platform/paths.hpp"
#include "platform/web/bridge.hpp"
#include "recall/recall_report.hpp"

namespace quizhost::web {
namespace {

namespace fs = std::filesystem;

using json = nlohmann::json;

// How many of the panel's lines a panel that (re)loads gets again.
constexpr std::size_t kept_panel_lines = 400;
// How long the host waits for the stage when it asks again for content_version_no.
constexpr std::chrono::milliseconds version_look_timeout{500};
// How long the sockets run after a command, to see a command the movie raised while it was with the host.
constexpr std::chrono::milliseconds overlap_look{2};

// Whether the text starts with a number as the leading-number rule reads one (blanks, a sign, digits or a
// point followed by digits); a text without one reads as 0.
bool has_leading_number(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0) return true;
    return i + 1 < text.size() && text[i] == '.' && std::isdigit(static_cast<unsigned char>(text[i + 1])) != 0;
}

std::vector<std::string> fields_of(const std::string& args) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const auto comma = args.find(',', start);
        fields.push_back(args.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

// A number field of a command's argument: which field, what it is called, and whether leaving it out is a
// mistake (it is not for flags that are 0 unless set).
struct number_field {
    std::size_t index;
    const char* name;
    bool needed;
};

struct number_fields {
    const char* command;
    bool whole;  // the whole argument is the number (no commas)
    std::vector<number_field> fields;
};

const std::vector<number_fields>& read_numbers() {
    static const std::vector<number_fields> table{
        {"ADD_TO_BANK", true, {{0, "the amount", true}}},
        {"GET_HISCORE_POSITION", true, {{0, "the score", true}}},
        {"UPDATE_METERS", false, {{0, "Q", true}, {1, "P", true}, {2, "F2", false}, {3, "F3", false}}},
        {"ADD_TO_HISCORES", false, {{2, "SCORE", true}}},
        {"GET_QUESTION", false, {{0, "N", true}}},
    };
    return table;
}

std::string shown(const std::string& text) { return "\"" + escape_field(text) + "\""; }

}  // namespace

std::vector<std::string> argument_warnings(const std::string& command, const std::string& args) {
    std::vector<std::string> out;
    for (const number_fields& row : read_numbers()) {
        if (command != row.command) continue;
        const std::vector<std::string> fields = row.whole ? std::vector<std::string>{args} : fields_of(args);
        for (const number_field& field : row.fields) {
            const bool present = field.index < fields.size() && !trim_spaces(fields[field.index]).empty();
            if (!present) {
                if (field.needed) {
                    out.push_back(command + " " + shown(args) + ": " + field.name + " is missing and reads as 0");
                }
            } else if (!has_leading_number(fields[field.index])) {
                out.push_back(command + " " + shown(args) + ": " + field.name + " " + shown(fields[field.index]) +
                              " is not a number and reads as 0");
            }
        }
    }
    return out;
}

std::string content_version_warning(const std::string& wrapper_version) {
    if (wrapper_version != std::string(wrapper_major_version) + ".") return "";
    return "the game movie had not set content_version_no when the host loaded it (the log says LAUNCHING GAME "
           "(V7.) and GET_WRAPPER_VERSION answers \"7.\"): set it at the top level of a script in the page, "
           "before the page has loaded";
}

folder_watch::folder_watch(std::string folder) : folder_(std::move(folder)), seen_(scan()) {}

std::map<std::string, folder_watch::stamp> folder_watch::scan() const {
    std::map<std::string, stamp> files;
    std::error_code error;
    fs::recursive_directory_iterator it(folder_, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        // Editors' work files (".x.swp", "x~") change as one types: not a change of the movie.
        if (name.starts_with(".") || name.ends_with("~")) {
            if (it->is_directory(error)) it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file(error)) continue;
        const auto time = it->last_write_time(error);
        const auto size = it->file_size(error);
        if (error) {
            error.clear();
            continue;
        }
        files[fs::relative(it->path(), folder_, error).generic_string()] = {
            static_cast<std::int64_t>(time.time_since_epoch().count()), size};
    }
    return files;
}

std::vector<std::string> folder_watch::changes() {
    std::map<std::string, stamp> now = scan();
    std::vector<std::string> changed;
    for (const auto& [name, when] : now) {
        const auto before = seen_.find(name);
        if (before == seen_.end() || !(before->second == when)) changed.push_back(name);
    }
    for (const auto& [name, when] : seen_) {
        if (!now.contains(name)) changed.push_back(name);
    }
    seen_ = std::move(now);
    return changed;
}

// Every traced event goes on as before, and to the panel as its TAB-separated line.
class developer_session::tee_sink final : public event_sink {
public:
    tee_sink(developer_session& session, event_sink* out) : session_(session), out_(out) {}
    void event(std::initializer_list<std::string_view> fields) override {
        if (out_ != nullptr) out_->event(fields);
        std::string line;
        for (const std::string_view field : fields) {
            if (!line.empty()) line += '\t';
            line += escape_field(field);
        }
        session_.to_panel({{"kind", "trace"}, {"line", to_utf8(line)}});
    }

private:
    developer_session& session_;
    event_sink* out_;
};

developer_session::developer_session(host& h, bridge& link, developer_mode mode, event_sink* trace_out, std::FILE* err)
    : h_(h),
      link_(link),
      mode_(std::move(mode)),
      err_(err),
      tee_(std::make_unique<tee_sink>(*this, trace_out)),
      intro_watch_(mode_.intro_folder),
      game_watch_(mode_.game_folder) {
    link_.every(look_period, [this] { look_at_movies(); });
}

developer_session::~developer_session() = default;

event_sink& developer_session::trace() { return *tee_; }

void developer_session::to_panel(json message, bool keep) {
    message["type"] = "developer";
    if (keep) {
        if (history_.size() >= kept_panel_lines) history_.erase(history_.begin());
        history_.push_back(message);
    }
    link_.send(message);
}

void developer_session::warn(const std::string& text) {
    std::fprintf(err_, "quizhost dev: %s\n", text.c_str());
    std::fflush(err_);
    to_panel({{"kind", "warning"}, {"text", to_utf8(text)}});
}

void developer_session::send_credit(bool always) {
    if (!mode_.credit_and_bank) return;
    const auto now = mode_.credit_and_bank();
    if (!now || (!always && now == last_credit_)) return;
    last_credit_ = now;
    to_panel({{"kind", "credit"}, {"credit", now->first}, {"bank", now->second}}, false);
}

void developer_session::send_reports() {
    if (h_.io.files == nullptr) return;
    std::ostringstream meters;
    std::ostringstream recall;
    std::ostringstream ignored;
    run_meter_report(*h_.io.files, h_.program_folder, "", meters, ignored);
    recall_options options;
    options.root = h_.program_folder;
    options.last = 3;
    run_recall_report(*h_.io.files, options, recall, ignored);
    to_panel({{"kind", "meters"}, {"text", to_utf8(meters.str())}}, false);
    to_panel({{"kind", "recall"}, {"text", to_utf8(recall.str())}}, false);
}

void developer_session::before_command(const std::string& form, const std::string& command, const std::string& args,
                                       bool to_game) {
    if (!to_game) return;
    if (form == "main" && !game_version_checked_) {
        game_version_checked_ = true;
        // The host read "" at load; a movie that has it now set it too late.
        const auto reply =
            link_.request({{"type", "get"}, {"form", "main"}, {"name", "content_version_no"}}, version_look_timeout);
        if (reply && !reply->text.empty()) {
            warn("the game movie set content_version_no to \"" + reply->text +
                 "\" after the host had read it at load (too late: GET_WRAPPER_VERSION answers \"7.\"); set it at "
                 "the top level of a script in the page");
        }
    }
    if (find_command(command) == nullptr) {
        const std::string nearest = nearest_command(command);
        warn("unknown command " + shown(command) + (args.empty() ? "" : " " + shown(args)) + ": nothing happens" +
             (nearest.empty() ? "" : " (did you mean " + nearest + "?)"));
        return;
    }
    for (const std::string& line : argument_warnings(command, args)) warn(line);
}

void developer_session::after_command(const std::string& form, const std::string& command, bool to_game) {
    if (!to_game && command == "INTRO_END" && !h_.io.game_movie->movie().empty()) {
        // The game was loaded: its content_version_no was read there.
        const std::string warning = content_version_warning(h_.start.wrapper_version);
        if (!warning.empty()) {
            warn(warning);
            game_version_checked_ = false;
        }
        send_reports();
    }
    // What the stage sent while this command was with the host may still be unread on the socket.
    link_.run_for(overlap_look);
    if (link_.command_waiting(form)) {
        warn("a command of the " + std::string(form == "main" ? "game" : "intro") + " movie was raised while " +
             command +
             " was with the host: it waits its turn; raise the next once the promise resolves or on the "
             "next frame");
    }
    send_credit(false);
    if (command == "UPDATE_METERS" || command == "ADD_TO_BANK" || command == "ADD_TO_HISCORES") send_reports();
}

void developer_session::look_at_movies() {
    for (auto& name : intro_watch_.changes()) intro_changes_.push_back(std::move(name));
    for (auto& name : game_watch_.changes()) game_changes_.push_back(std::move(name));
}

void developer_session::between_commands() {
    if (!intro_changes_.empty()) {
        const std::string first = intro_changes_.front();
        intro_changes_.clear();
        movie_control& intro = *h_.io.intro_movie;
        if (!intro.movie().empty()) {
            const std::string path = intro.movie();
            intro.set_movie(path);
            intro.rewind();
            intro.play();
            to_panel({{"kind", "reloaded"}, {"form", "intro"}, {"file", to_utf8(first)}});
            std::fprintf(err_, "quizhost dev: intro/%s changed: the intro movie reloads\n", first.c_str());
        } else {
            to_panel({{"kind", "reloaded"}, {"form", "intro"}, {"file", to_utf8(first)}, {"later", true}});
            std::fprintf(err_, "quizhost dev: intro/%s changed: the intro shows at the next start\n", first.c_str());
        }
        std::fflush(err_);
    }
    if (!game_changes_.empty()) {
        const std::string first = game_changes_.front();
        game_changes_.clear();
        if (!h_.io.game_movie->movie().empty()) {
            // As RESET_FLASH_GAME does: the game movie loads afresh from its first frame.
            reset_flash_game(h_);
            to_panel({{"kind", "reloaded"}, {"form", "main"}, {"file", to_utf8(first)}});
            std::fprintf(err_, "quizhost dev: flash_game/%s changed: the game movie reloads\n", first.c_str());
            std::fflush(err_);
        }
    }
}

void developer_session::panel_message(const json& message) {
    const std::string action = message.value("action", std::string{});
    if (action == "hello") {
        // A panel that (re)loaded: what it missed, and the state now.
        json lines = json::array();
        for (const json& kept : history_) lines.push_back(kept);
        link_.send({{"type", "developer"}, {"kind", "history"}, {"messages", lines}});
        send_credit(true);
        send_reports();
    } else if (action == "coin") {
        const auto amount = message.find("amount");
        const double credits = amount != message.end() && amount->is_number() ? amount->get<double>() : 0;
        if (!(credits >= 1 && credits <= 10000) || !mode_.insert_coins) {
            warn("the panel's coin of " + number_to_text(credits) + " was not taken (1 to 10000 credits)");
            return;
        }
        try {
            mode_.insert_coins(credits);
            to_panel({{"kind", "coin"}, {"amount", credits}});
        } catch (const std::exception& e) {
            warn(std::string("the coin was not taken: ") + e.what());
        }
        send_credit(true);
    } else {
        warn("the panel sent what the host does not know: " + to_utf8(excerpt(message.dump())));
    }
}

}  // namespace quizhost::web

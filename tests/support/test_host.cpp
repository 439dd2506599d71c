#include "support/test_host.hpp"

#include <fstream>
#include <random>
#include <sstream>

#include "definitions.hpp"

namespace quizhost::testing {

void recording_sink::event(std::initializer_list<std::string_view> fields) {
    std::string line;
    bool first = true;
    for (std::string_view field : fields) {
        if (!first) line += '\t';
        first = false;
        line += escape_field(field);
    }
    lines.push_back(line);
}

temp_folder::temp_folder() {
    std::random_device device;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("quizhost-test-" + std::to_string(device()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate.string();
            return;
        }
    }
}

temp_folder::~temp_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::int32_t memory_credit::cget() {
    calls.push_back("cget");
    return static_cast<std::int32_t>(credit);
}
std::int32_t memory_credit::bget() {
    calls.push_back("bget");
    return static_cast<std::int32_t>(bank);
}
std::int32_t memory_credit::cuse(std::int32_t price_) {
    calls.push_back("cuse " + std::to_string(price_));
    credit -= price_;
    return 0;
}
std::int32_t memory_credit::badd(std::int32_t amount) {
    calls.push_back("badd " + std::to_string(amount));
    bank += amount;
    return 0;
}
std::shared_ptr<shell_object> memory_credit::attach() {
    calls.push_back("attach");
    if (!shell_running) throw run_time_error(cannot_create_object);
    return shared_from_this();
}
double memory_credit::GetCredit() {
    calls.push_back("GetCredit");
    return credit;
}
double memory_credit::GetBank() {
    calls.push_back("GetBank");
    return bank;
}
double memory_credit::GetStake(std::int16_t& level) {
    calls.push_back("GetStake " + std::to_string(level));
    const auto found = stakes.find(level);
    return found == stakes.end() ? 0 : found->second;
}
void memory_credit::UseCreditEx(std::int32_t& stake_index) {
    calls.push_back("UseCreditEx " + std::to_string(stake_index));
    credit -= price;
}
void memory_credit::UseCreditFromBankEx(std::int32_t& stake_index) {
    calls.push_back("UseCreditFromBankEx " + std::to_string(stake_index));
    bank -= price;
}
void memory_credit::AddToBank(double amount) {
    std::ostringstream text;
    text << amount;
    calls.push_back("AddToBank " + text.str());
    bank += amount;
}
void memory_credit::FreeGameStarted() { calls.push_back("FreeGameStarted"); }

test_host::test_host() : files(make_native_file_system()) {
    headless.attach(host.io);
    host.io.files = files.get();
    host.io.clock = &clock;
    host.io.library = credit.get();
    host.io.shell = credit.get();
    host.program_folder = folder.path();
}

bool native_files_swap() {
    static const bool swaps = [] {
        const temp_folder probe;
        const auto fs = make_native_file_system();
        const std::string a = probe.path() + path_separator + "a";
        const std::string b = probe.path() + path_separator + "b";
        fs->write_file(a, "a");
        fs->write_file(b, "b");
        return fs->exchange_files(a, b) && fs->read_file(a) == "b";
    }();
    return swaps;
}

std::string native_path(const std::string& folder, const std::string& relative) {
    std::string native = relative;
    for (char& c : native) {
        if (c == '/') c = path_separator;
    }
    return folder + native;
}

std::string transcript_path(const std::string& folder, const std::string& relative) {
    return escape_field(native_path(folder, relative));
}

std::string test_host::path(const std::string& relative) const {
    // With the platform's own separator, so paths compare equal to those the host forms.
    std::string native = relative;
    for (char& c : native) {
        if (c == '/') c = path_separator;
    }
    return folder.path() + path_separator + native;
}

void test_host::set_paths() {
    host.start.system_path = host.program_folder + system_folder_name;
    host.start.variable_path = host.program_folder + variable_folder_name;
    host.start.data_path = host.program_folder + data_folder_name;
    host.start.setup_file_path = host.start.system_path + setup_file_name;
}

void test_host::write(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path target(path(relative));
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary);
    out << bytes;
}

std::string test_host::read(const std::string& relative) const {
    std::ifstream in(path(relative), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool test_host::exists(const std::string& relative) const { return std::filesystem::exists(path(relative)); }

}  // namespace quizhost::testing

#include "support/power_cut_file_system.hpp"

#include "definitions.hpp"

namespace quizhost::testing {
namespace {

// One spelling per entry: the Windows build joins the cabinet's paths with "\\", the tests with "/".
std::string key(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

void power_cut_file_system::step(const std::string& what) {
    ++steps_;
    log.push_back(what);
}

power_cut_file_system::inode_ref power_cut_file_system::find(const std::string& path) const {
    const auto found = entries_.find(key(path));
    return found == entries_.end() ? nullptr : found->second;
}

std::unique_ptr<power_cut_file_system> power_cut_file_system::after_power_cut() const {
    auto restarted = std::make_unique<power_cut_file_system>();
    restarted->folders_ = durable_folders_;
    for (const auto& [path, node] : durable_entries_) {
        // Only entries whose folder itself survived are reachable.
        if (durable_folders_.count(folder_of(path)) == 0) continue;
        auto copy = std::make_shared<inode>(inode{node->durable_data, node->durable_data});
        restarted->entries_[path] = copy;
    }
    restarted->sync_everything();
    return restarted;
}

void power_cut_file_system::sync_everything() {
    durable_folders_ = folders_;
    durable_entries_ = entries_;
    for (auto& [path, node] : entries_) node->durable_data = node->data;
}

std::string power_cut_file_system::contents(const std::string& path) const {
    const auto node = find(path);
    return node ? node->data : std::string{};
}

bool power_cut_file_system::file_exists(const std::string& path) { return find(path) != nullptr; }

bool power_cut_file_system::folder_exists(const std::string& path) { return folders_.count(key(path)) != 0; }

void power_cut_file_system::create_folder(const std::string& path) {
    const std::string folder = key(path);
    if (folders_.count(folder_of(folder)) == 0)
        throw run_time_error(path_not_found, error_description(path_not_found), path);
    folders_.insert(folder);
    step("mkdir " + folder);
    // A new folder's entry lives in its parent folder; it is durable with the parent's sync. Simplified:
    // creating a folder is durable at once, as the host only ever creates folders at start-up.
    durable_folders_.insert(folder);
    if (steps_ == cut_after_) throw power_cut{};
}

std::int64_t power_cut_file_system::file_size(const std::string& path) {
    const auto node = find(path);
    if (!node) throw run_time_error(file_not_found, error_description(file_not_found), path);
    return static_cast<std::int64_t>(node->data.size());
}

std::string power_cut_file_system::read_file(const std::string& path) {
    const auto node = find(path);
    if (!node) throw run_time_error(file_not_found, error_description(file_not_found), path);
    return node->data;
}

void power_cut_file_system::append_to_file(const std::string& path, std::string_view bytes) {
    const auto node = find(path);
    if (!node) throw run_time_error(file_not_found, error_description(file_not_found), path);
    node->data += bytes;
    step("append " + path);
    if (steps_ == cut_after_) throw power_cut{};
}

void power_cut_file_system::write_file(const std::string& path, std::string_view bytes) {
    if (folders_.count(folder_of(key(path))) == 0)
        throw run_time_error(path_not_found, error_description(path_not_found), path);
    auto node = find(path);
    if (node) {
        node->data = std::string(bytes);  // truncate and write in place: the old durable data is at risk
        node->durable_data.clear();
    } else {
        entries_[key(path)] = std::make_shared<inode>(inode{std::string(bytes), {}});
    }
    step("write " + path);
    if (steps_ == cut_after_) throw power_cut{};
}

void power_cut_file_system::copy_file(const std::string& from, const std::string& to) {
    write_file(to, read_file(from));
}

void power_cut_file_system::delete_file(const std::string& path) {
    if (entries_.erase(key(path)) == 0) throw run_time_error(file_not_found, error_description(file_not_found), path);
    step("delete " + path);
    if (steps_ == cut_after_) throw power_cut{};
}

void power_cut_file_system::rename_file(const std::string& from, const std::string& to) {
    const auto node = find(from);
    if (!node) throw run_time_error(file_not_found, error_description(file_not_found), from);
    entries_.erase(key(from));
    entries_[key(to)] = node;
    step("rename " + from + " " + to);
    if (steps_ == cut_after_) throw power_cut{};
}

bool power_cut_file_system::exchange_files(const std::string& a, const std::string& b) {
    const auto first = find(a);
    const auto second = find(b);
    if (!first || !second) return false;
    entries_[key(a)] = second;
    entries_[key(b)] = first;
    step("exchange " + a + " " + b);
    if (steps_ == cut_after_) throw power_cut{};
    return true;
}

void power_cut_file_system::sync_file(const std::string& path) {
    const auto node = find(path);
    if (!node) throw run_time_error(file_not_found, error_description(file_not_found), path);
    node->durable_data = node->data;
    step("sync " + path);
    if (steps_ == cut_after_) throw power_cut{};
}

void power_cut_file_system::sync_folder(const std::string& path) {
    const std::string folder = key(path);
    // The folder's durable entries become its current ones.
    for (auto it = durable_entries_.begin(); it != durable_entries_.end();) {
        it = folder_of(it->first) == folder ? durable_entries_.erase(it) : std::next(it);
    }
    for (const auto& [entry, node] : entries_) {
        if (folder_of(entry) == folder) durable_entries_[entry] = node;
    }
    step("syncdir " + folder);
    if (steps_ == cut_after_) throw power_cut{};
}

}  // namespace quizhost::testing

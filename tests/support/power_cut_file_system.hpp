// An in-memory file system that models what survives a power cut: file data is durable once the file is
// synced, and a folder's entries (creations, renames, deletions) once the folder is synced. It counts every
// mutating step and can cut the power right after any one of them; what is left afterwards is exactly what
// was made durable, as a fresh file system to restart the host on.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.hpp"

namespace quizhost::testing {

// Thrown when the power goes: not a run_time_error, so no handler of the host catches it.
struct power_cut {};

class power_cut_file_system final : public file_system {
public:
    // The file system's root folder exists from the start.
    power_cut_file_system() = default;

    // Cuts the power right after mutating step `step` (counted from 1 since the last call); 0 never.
    void cut_after_step(int step) {
        cut_after_ = step;
        steps_ = 0;
    }
    int steps() const { return steps_; }
    std::vector<std::string> log;  // every mutating step, for the report of a failed cut point

    // What a restart would find: every durable folder and file, as a new file system.
    std::unique_ptr<power_cut_file_system> after_power_cut() const;
    // Makes everything durable at once (a clean shutdown), e.g. after setting up a test cabinet.
    void sync_everything();

    // The current (not necessarily durable) content of a file, for checks.
    std::string contents(const std::string& path) const;

    bool file_exists(const std::string& path) override;
    bool folder_exists(const std::string& path) override;
    void create_folder(const std::string& path) override;
    std::int64_t file_size(const std::string& path) override;
    std::string read_file(const std::string& path) override;
    void append_to_file(const std::string& path, std::string_view bytes) override;
    void write_file(const std::string& path, std::string_view bytes) override;
    void copy_file(const std::string& from, const std::string& to) override;
    void delete_file(const std::string& path) override;
    void rename_file(const std::string& from, const std::string& to) override;
    bool exchange_files(const std::string& a, const std::string& b) override;
    void sync_file(const std::string& path) override;
    void sync_folder(const std::string& path) override;

private:
    struct inode {
        std::string data;          // what a reader sees now
        std::string durable_data;  // what survives a cut
    };
    using inode_ref = std::shared_ptr<inode>;

    void step(const std::string& what);
    inode_ref find(const std::string& path) const;

    // Folder entries as they are now and as they are durably: path -> inode.
    std::map<std::string, inode_ref> entries_;
    std::map<std::string, inode_ref> durable_entries_;
    std::set<std::string> folders_{"/"};
    std::set<std::string> durable_folders_{"/"};
    int cut_after_ = 0;
    int steps_ = 0;
};

}  // namespace quizhost::testing

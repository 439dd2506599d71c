// The file system seam: every file the host reads or writes goes through it, so tests can run on a
// temporary folder, inject failures at any step and simulate a power cut.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quizhost {

// Every operation raises run_time_error on failure: 53 "File not found" for a missing file, 76 "Path not
// found" for a missing folder, 70 "Permission denied", 75 "Path/File access error" for other failures.
class file_system {
public:
    virtual ~file_system() = default;

    virtual bool file_exists(const std::string& path) = 0;
    virtual bool folder_exists(const std::string& path) = 0;
    virtual void create_folder(const std::string& path) = 0;
    virtual std::int64_t file_size(const std::string& path) = 0;
    // When the file's data last changed, in seconds since 1970-01-01 00:00 UTC; none when the file is
    // missing or this file system keeps no such time (the default).
    virtual std::optional<std::int64_t> modified_time(const std::string& path);

    // The whole file's bytes.
    virtual std::string read_file(const std::string& path) = 0;
    // Counts the file's lines (each ends with LF or CR LF; the last may have no end) and returns line
    // `choose(count)`, counted from 1, without its line end; error 62 "Input past end of file" when the
    // file has no such line. One reading serves both, so the count and the line belong to the same
    // version of the file however it is replaced meanwhile. The default reads the whole file with
    // read_file; an implementation may read a large file in pieces instead of holding all of it.
    virtual std::string read_counted_line(const std::string& path, const std::function<long(long count)>& choose);
    // Appends to an existing file and closes it, so the bytes reach the file at once.
    virtual void append_to_file(const std::string& path, std::string_view bytes) = 0;
    // Makes the file hold `bytes`: creates it, or overwrites an existing one in place (its old bytes are
    // at risk until the next sync). Not durable by itself: see replace_file.
    virtual void write_file(const std::string& path, std::string_view bytes) = 0;
    virtual void copy_file(const std::string& from, const std::string& to) = 0;
    virtual void delete_file(const std::string& path) = 0;
    // Renames `from` over `to`, replacing it in one step.
    virtual void rename_file(const std::string& from, const std::string& to) = 0;
    // Swaps the files two names of one folder stand for, in one step, and answers true; answers false,
    // changing nothing, when this file system cannot or when either file is missing. The default cannot.
    virtual bool exchange_files(const std::string& a, const std::string& b);
    // Makes the file's data, and its size, durable (fdatasync), and a folder's entries (creations,
    // renames) durable.
    virtual void sync_file(const std::string& path) = 0;
    virtual void sync_folder(const std::string& path) = 0;
};

// Passes every call to another file system, as LevelDB's EnvWrapper does: a test double or a tool derives
// from it and overrides only what it changes, so a call added to the seam reaches the real file system
// instead of a default that merely works.
class file_system_wrapper : public file_system {
public:
    explicit file_system_wrapper(file_system& target) : target_(&target) {}
    explicit file_system_wrapper(std::unique_ptr<file_system> owned)
        : owned_(std::move(owned)), target_(owned_.get()) {}

    file_system& target() const { return *target_; }

    bool file_exists(const std::string& path) override { return target_->file_exists(path); }
    bool folder_exists(const std::string& path) override { return target_->folder_exists(path); }
    void create_folder(const std::string& path) override { target_->create_folder(path); }
    std::int64_t file_size(const std::string& path) override { return target_->file_size(path); }
    std::optional<std::int64_t> modified_time(const std::string& path) override { return target_->modified_time(path); }
    std::string read_file(const std::string& path) override { return target_->read_file(path); }
    std::string read_counted_line(const std::string& path, const std::function<long(long count)>& choose) override {
        return target_->read_counted_line(path, choose);
    }
    void append_to_file(const std::string& path, std::string_view bytes) override {
        target_->append_to_file(path, bytes);
    }
    void write_file(const std::string& path, std::string_view bytes) override { target_->write_file(path, bytes); }
    void copy_file(const std::string& from, const std::string& to) override { target_->copy_file(from, to); }
    void delete_file(const std::string& path) override { target_->delete_file(path); }
    void rename_file(const std::string& from, const std::string& to) override { target_->rename_file(from, to); }
    bool exchange_files(const std::string& a, const std::string& b) override { return target_->exchange_files(a, b); }
    void sync_file(const std::string& path) override { target_->sync_file(path); }
    void sync_folder(const std::string& path) override { target_->sync_folder(path); }

private:
    std::unique_ptr<file_system> owned_;
    file_system* target_;
};

// The one atomic replacement of a whole file: the new bytes go to a work file beside the target, which is
// synced, renamed over the target, and the folder synced. A power cut at any instant leaves either the
// old file or the new one. `work_name` is the work file's bare name (default: the target's name + ".new").
//
// A named work file (the records' "scrap.txt", the high-score table's "newfile.txt") stays in the folder
// between replacements: where the file system can, it is swapped with the target rather than renamed
// over it, so it keeps the previous version and the next replacement rewrites blocks the disk already
// holds. On a journalling file system that spares one journal commit per replacement, close to half of
// its cost. A default work file is renamed over the target and leaves nothing behind.
void replace_file(file_system& fs, const std::string& path, std::string_view bytes, std::string_view work_name = {});

// Copies a file with the same guarantee as replace_file (the target is never half copied).
void copy_file_atomically(file_system& fs, const std::string& from, const std::string& to);

// The folder part of a path (up to and without its last separator); "." when it has none.
std::string folder_of(const std::string& path);

// The file system of the machine the host runs on.
std::unique_ptr<file_system> make_native_file_system();

}  // namespace quizhost

// A file system that passes every call to a real one but can be made to fail at any one of its mutating
// steps (write, append, copy, delete, rename, exchange, folder creation, sync), to show that a failure at any step
// of a rewrite leaves the old file or the new one and nothing else.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "definitions.hpp"
#include "platform/file_system.hpp"

namespace quizhost::testing {

class faulty_file_system final : public file_system_wrapper {
public:
    using file_system_wrapper::file_system_wrapper;

    // The mutating step (counted from 1) that raises error 75 instead of running; 0 never fails.
    void fail_at_step(int step) {
        fail_at_ = step;
        steps_ = 0;
        log.clear();
    }
    int steps() const { return steps_; }
    std::vector<std::string> log;  // "write PATH", "sync PATH", "rename FROM TO", ...

    void create_folder(const std::string& path) override { step("mkdir " + path), target().create_folder(path); }
    void append_to_file(const std::string& path, std::string_view bytes) override {
        step("append " + path), target().append_to_file(path, bytes);
    }
    void write_file(const std::string& path, std::string_view bytes) override {
        step("write " + path), target().write_file(path, bytes);
    }
    void copy_file(const std::string& from, const std::string& to) override {
        step("copy " + from + " " + to), target().copy_file(from, to);
    }
    void delete_file(const std::string& path) override { step("delete " + path), target().delete_file(path); }
    void rename_file(const std::string& from, const std::string& to) override {
        step("rename " + from + " " + to), target().rename_file(from, to);
    }
    // A file system that cannot swap changes nothing, and its caller renames instead: that rename is
    // then the step, so the steps of a replacement count the same on every file system.
    bool exchange_files(const std::string& a, const std::string& b) override {
        step("exchange " + a + " " + b);
        if (target().exchange_files(a, b)) return true;
        --steps_;
        log.pop_back();
        return false;
    }
    void sync_file(const std::string& path) override { step("sync " + path), target().sync_file(path); }
    void sync_folder(const std::string& path) override { step("syncdir " + path), target().sync_folder(path); }

private:
    int step(const std::string& what) {
        ++steps_;
        log.push_back(what);
        if (steps_ == fail_at_)
            throw run_time_error(path_file_access_error, "Path/File access error", "injected at " + what);
        return steps_;
    }

    int fail_at_ = 0;
    int steps_ = 0;
};

}  // namespace quizhost::testing

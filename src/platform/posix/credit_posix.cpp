// The cabinet's credit library and shell object as shared libraries, loaded with dlopen(3): from the
// program folder first, so a cabinet can carry its own, then from the system's search path. Nothing is
// loaded before it is needed, and each entry point is looked up by name at its first call.
#include <dlfcn.h>
#include <unistd.h>

#include <map>

#include "definitions.hpp"
#include "platform/client_shell.hpp"
#include "platform/client_shell_abi.h"
#include "platform/credit_library.hpp"
#include "platform/credit_probe.hpp"
#include "platform/module_file.hpp"
#include "platform/tccomm_abi.h"

namespace quizhost {
namespace {

constexpr const char* credit_library_file = "libtccomm.so";
static_assert(shell_automation_error == QH_SHELL_AUTOMATION_ERROR, "the shell library's number is the host's");

std::string last_dl_error() {
    const char* text = ::dlerror();
    return text == nullptr ? "unknown error" : text;
}

// A shared library found by its file name, opened at the first need and kept open until the last user
// lets it go.
class shared_library {
public:
    struct failure_numbers {
        int missing;        // found nowhere
        int cannot_load;    // found but not loadable
        int missing_entry;  // loaded, but without the entry point asked for
    };

    shared_library(std::string program_folder, std::string file_name, failure_numbers numbers)
        : program_folder_(std::move(program_folder)), file_name_(std::move(file_name)), numbers_(numbers) {}
    ~shared_library() {
        if (handle_ != nullptr) ::dlclose(handle_);
    }
    shared_library(const shared_library&) = delete;
    shared_library& operator=(const shared_library&) = delete;

    // The entry point `name`, loading the library first when needed.
    void* entry(const char* name) {
        const auto known = entries_.find(name);
        if (known != entries_.end()) return known->second;
        open();
        ::dlerror();
        void* address = ::dlsym(handle_, name);
        if (address == nullptr) {
            throw run_time_error(numbers_.missing_entry, shell_error_description(numbers_.missing_entry),
                                 file_name_ + ": no entry point " + name);
        }
        entries_.emplace(name, address);
        return address;
    }

private:
    void open() {
        if (handle_ != nullptr) return;
        const std::string beside_program = program_folder_ + "/" + file_name_;
        if (::access(beside_program.c_str(), F_OK) == 0) {
            handle_ = ::dlopen(beside_program.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle_ == nullptr) fail(numbers_.cannot_load, last_dl_error());
            return;
        }
        // Not beside the program: the system's search path (LD_LIBRARY_PATH, the cache, the default folders).
        handle_ = ::dlopen(file_name_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            const std::string why = last_dl_error();
            const bool absent = why.find("No such file") != std::string::npos;
            // Where it was looked for, so the operator knows where to put it.
            fail(absent ? numbers_.missing : numbers_.cannot_load,
                 absent ? "not in " + program_folder_ + " nor on the library search path: " + why : why);
        }
    }

    [[noreturn]] void fail(int number, const std::string& why) const {
        throw run_time_error(number, shell_error_description(number), why);
    }

    std::string program_folder_;
    std::string file_name_;
    failure_numbers numbers_;
    void* handle_ = nullptr;
    std::map<std::string, void*, std::less<>> entries_;
};

template <typename Function>
Function entry_as(shared_library& library, const char* name) {
    return reinterpret_cast<Function>(library.entry(name));
}

class native_credit_library final : public credit_library {
public:
    explicit native_credit_library(const std::string& program_folder)
        : library_(program_folder, credit_library_file, {file_not_found, error_loading_dll, dll_function_not_found}) {}

    std::int32_t cget() override { return entry_as<tccomm_cget_fn>(library_, "cget")(); }
    std::int32_t bget() override { return entry_as<tccomm_bget_fn>(library_, "bget")(); }
    std::int32_t cuse(std::int32_t price) override { return entry_as<tccomm_cuse_fn>(library_, "cuse")(price); }
    std::int32_t badd(std::int32_t amount) override { return entry_as<tccomm_badd_fn>(library_, "badd")(amount); }

private:
    shared_library library_;
};

void check_status(int status, const char* method) {
    if (status != 0)
        throw run_time_error(status, shell_error_description(status),
                             std::string("cabinet shell: ") + method + " failed");
}

// The attached shell: each method is the library's entry point of the same name. Holding the library
// keeps it loaded for as long as the host holds the object.
class native_shell_object final : public shell_object {
public:
    explicit native_shell_object(std::shared_ptr<shared_library> library) : library_(std::move(library)) {}
    ~native_shell_object() override {
        try {
            entry_as<qh_shell_release_fn>(*library_, "qh_shell_release")();
        } catch (const run_time_error&) {
            // A shell without a release entry point needs no goodbye.
        }
    }

    double GetCredit() override { return get("qh_shell_GetCredit"); }
    double GetBank() override { return get("qh_shell_GetBank"); }
    double GetStake(std::int16_t& level) override {
        double stake = 0;
        check_status(entry_as<qh_shell_get_stake_fn>(*library_, "qh_shell_GetStake")(&level, &stake), "GetStake");
        return stake;
    }
    void UseCreditEx(std::int32_t& stake_index) override {
        check_status(entry_as<qh_shell_use_credit_fn>(*library_, "qh_shell_UseCreditEx")(&stake_index), "UseCreditEx");
    }
    void UseCreditFromBankEx(std::int32_t& stake_index) override {
        check_status(entry_as<qh_shell_use_credit_fn>(*library_, "qh_shell_UseCreditFromBankEx")(&stake_index),
                     "UseCreditFromBankEx");
    }
    void AddToBank(double amount) override {
        check_status(entry_as<qh_shell_add_to_bank_fn>(*library_, "qh_shell_AddToBank")(amount), "AddToBank");
    }
    void FreeGameStarted() override {
        check_status(entry_as<qh_shell_notify_fn>(*library_, "qh_shell_FreeGameStarted")(), "FreeGameStarted");
    }

private:
    double get(const char* name) {
        double value = 0;
        check_status(entry_as<qh_shell_get_fn>(*library_, name)(&value), name);
        return value;
    }

    std::shared_ptr<shared_library> library_;
};

// A shell that cannot be found or loaded is a shell that is not running: error 429, as when no running
// instance has registered itself.
class native_client_shell final : public client_shell {
public:
    explicit native_client_shell(const std::string& program_folder)
        : library_(std::make_shared<shared_library>(
              program_folder, "libclientshell.so",
              shared_library::failure_numbers{cannot_create_object, cannot_create_object, shell_no_such_method})) {}

    std::shared_ptr<shell_object> attach() override {
        qh_shell_attach_fn attach_entry = nullptr;
        try {
            attach_entry = entry_as<qh_shell_attach_fn>(*library_, "qh_shell_attach");
        } catch (const run_time_error& e) {
            throw run_time_error(cannot_create_object, shell_error_description(cannot_create_object), e.detail());
        }
        check_status(attach_entry(), "attach");
        return std::make_shared<native_shell_object>(library_);
    }

private:
    std::shared_ptr<shared_library> library_;
};

}  // namespace

std::unique_ptr<credit_library> make_native_credit_library(const std::string& program_folder) {
    return std::make_unique<native_credit_library>(program_folder);
}

std::string probe_credit_library(const std::string& program_folder) {
    shared_library library(program_folder, credit_library_file,
                           {file_not_found, error_loading_dll, dll_function_not_found});
    void* const first = library.entry("cget");
    for (const char* name : {"bget", "cuse", "badd"}) (void)library.entry(name);
    return module_file_of(first);
}

std::unique_ptr<client_shell> make_native_client_shell(const std::string& program_folder) {
    return std::make_unique<native_client_shell>(program_folder);
}

}  // namespace quizhost

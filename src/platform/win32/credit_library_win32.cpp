// The cabinet's credit library "tccomm.dll", loaded with LoadLibraryA at the first call that needs it:
// from the program folder first, so a cabinet can carry its own, then from the DLL search path. Each
// entry point is looked up by its undecorated name with GetProcAddress at its first call; all four use
// the standard Windows calling convention.
#include <windows.h>

#include <cstdint>
#include <map>

#include "definitions.hpp"
#include "platform/credit_probe.hpp"
#include "platform/win32/win32_error.hpp"
#include "platform/win32/win32_factories.hpp"

namespace quizhost {
namespace {

using cget_fn = std::int32_t(__stdcall*)();
using cuse_fn = std::int32_t(__stdcall*)(std::int32_t);

bool file_is_there(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

class win32_credit_library final : public credit_library {
public:
    win32_credit_library(std::string program_folder, std::string file_name)
        : program_folder_(std::move(program_folder)), file_name_(std::move(file_name)) {}
    ~win32_credit_library() override {
        if (module_ != nullptr) ::FreeLibrary(module_);
    }
    win32_credit_library(const win32_credit_library&) = delete;
    win32_credit_library& operator=(const win32_credit_library&) = delete;

    std::int32_t cget() override { return entry<cget_fn>("cget")(); }
    std::int32_t bget() override { return entry<cget_fn>("bget")(); }
    std::int32_t cuse(std::int32_t price) override { return entry<cuse_fn>("cuse")(price); }
    std::int32_t badd(std::int32_t amount) override { return entry<cuse_fn>("badd")(amount); }
    // Looks up the four entry points without calling any; the file the DLL was loaded from.
    std::string bind_entry_points() {
        (void)entry<cget_fn>("cget");
        (void)entry<cget_fn>("bget");
        (void)entry<cuse_fn>("cuse");
        (void)entry<cuse_fn>("badd");
        char path[MAX_PATH] = {};
        const DWORD length = ::GetModuleFileNameA(module_, path, MAX_PATH);
        return length == 0 || length >= MAX_PATH ? std::string{} : std::string(path, length);
    }

private:
    template <typename Function>
    Function entry(const char* name) {
        const auto known = entries_.find(name);
        if (known != entries_.end()) return reinterpret_cast<Function>(known->second);
        load();
        const FARPROC address = ::GetProcAddress(module_, name);
        if (address == nullptr) {
            throw run_time_error(dll_function_not_found, error_description(dll_function_not_found),
                                 file_name_ + ": no entry point " + name);
        }
        // Through void*: FARPROC's own type says nothing of the entry point's real one.
        void* const untyped = reinterpret_cast<void*>(address);
        entries_.emplace(name, untyped);
        return reinterpret_cast<Function>(untyped);
    }

    void load() {
        if (module_ != nullptr) return;
        // A DLL that cannot be loaded must not stop the cabinet with a system dialog box.
        const UINT old_mode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        const std::string beside_program = program_folder_ + "\\" + file_name_;
        const bool beside = file_is_there(beside_program);
        module_ = ::LoadLibraryA(beside ? beside_program.c_str() : file_name_.c_str());
        const DWORD code = module_ == nullptr ? ::GetLastError() : ERROR_SUCCESS;
        ::SetErrorMode(old_mode);
        if (module_ != nullptr) return;
        // Found nowhere is "File not found"; found but refused (a 32-bit DLL in a 64-bit host, a damaged
        // file, a DLL it needs is missing) is "Error in loading DLL".
        const bool absent = !beside && code == ERROR_MOD_NOT_FOUND;
        const int number = absent ? file_not_found : error_loading_dll;
        throw run_time_error(number, error_description(number),
                             (beside ? beside_program : file_name_) + ": " + win32::system_message(code));
    }

    std::string program_folder_;
    std::string file_name_;
    HMODULE module_ = nullptr;
    std::map<std::string, void*, std::less<>> entries_;
};

}  // namespace

namespace win32 {

std::unique_ptr<credit_library> make_credit_library(const std::string& program_folder, const std::string& file_name) {
    return std::make_unique<win32_credit_library>(program_folder, file_name);
}

}  // namespace win32

std::string probe_credit_library(const std::string& program_folder) {
    win32_credit_library library(program_folder, win32::credit_library_file);
    return library.bind_entry_points();
}

std::unique_ptr<credit_library> make_native_credit_library(const std::string& program_folder) {
    return win32::make_credit_library(program_folder, win32::credit_library_file);
}

}  // namespace quizhost

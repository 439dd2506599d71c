// The cabinet shell's automation object "ClientShell.ClientShellInterface3": the running instance the
// shell registered in the running object table (GetActiveObject; a new instance is never created), called
// late-bound through IDispatch by method name, with the argument types the shell's methods declare.
#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <vector>

#include "definitions.hpp"
#include "platform/win32/win32_error.hpp"
#include "platform/win32/win32_factories.hpp"

namespace quizhost {
namespace {

constexpr int no_such_method = shell_no_such_method;
constexpr int automation_error = shell_automation_error;

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

std::string narrow(const wchar_t* text) {
    if (text == nullptr || *text == L'\0') return {};
    const int length = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), length, nullptr, nullptr);
    if (!out.empty() && out.back() == '\0') out.pop_back();
    return out;
}

std::string hresult_text(HRESULT result) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    const std::string text = win32::system_message(static_cast<DWORD>(result));
    // Many automation codes have no system text; the code alone then says it.
    return text.rfind("error ", 0) == 0 ? std::string(code) : text + " (" + code + ")";
}

[[noreturn]] void fail(int number, const std::string& detail) {
    throw run_time_error(number, shell_error_description(number), detail);
}

// COM stays initialised on the host's one thread for the rest of the run: the shell object lives until
// shutdown, and uninitialising under it would pull it away.
void initialise_com() {
    const HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // Already initialised by the movie player, in either model: the object can be reached all the same.
    if (FAILED(result) && result != RPC_E_CHANGED_MODE)
        fail(cannot_create_object, "CoInitializeEx: " + hresult_text(result));
}

// A VARIANT that clears itself.
struct variant {
    VARIANT v;
    variant() { ::VariantInit(&v); }
    ~variant() { ::VariantClear(&v); }
    variant(const variant&) = delete;
    variant& operator=(const variant&) = delete;
};

class automation_object final : public shell_object {
public:
    automation_object(IDispatch* object, std::string prog_id) : object_(object), prog_id_(std::move(prog_id)) {}
    ~automation_object() override { object_->Release(); }
    automation_object(const automation_object&) = delete;
    automation_object& operator=(const automation_object&) = delete;

    double GetCredit() override { return number_of(call("GetCredit", {}), "GetCredit"); }
    double GetBank() override { return number_of(call("GetBank", {}), "GetBank"); }

    double GetStake(std::int16_t& level) override {
        // The level travels as a 16-bit integer inside a variant, and the variant by reference.
        variant level_value;
        level_value.v.vt = VT_I2;
        level_value.v.iVal = level;
        VARIANT argument;
        ::VariantInit(&argument);
        argument.vt = VT_VARIANT | VT_BYREF;
        argument.pvarVal = &level_value.v;
        const double stake = number_of(call("GetStake", {argument}), "GetStake");
        // The shell may hand a changed level back through the reference.
        if (level_value.v.vt == VT_I2) level = level_value.v.iVal;
        return stake;
    }

    void UseCreditEx(std::int32_t& stake_index) override { call_with_index("UseCreditEx", stake_index); }
    void UseCreditFromBankEx(std::int32_t& stake_index) override {
        call_with_index("UseCreditFromBankEx", stake_index);
    }

    void AddToBank(double amount) override {
        VARIANT argument;
        ::VariantInit(&argument);
        argument.vt = VT_R8;
        argument.dblVal = amount;
        call("AddToBank", {argument});
    }

    void FreeGameStarted() override { call("FreeGameStarted", {}); }

private:
    void call_with_index(const char* method, std::int32_t& stake_index) {
        // A 32-bit integer by reference: the shell reads (and may write) the host's own variable.
        LONG index = stake_index;
        VARIANT argument;
        ::VariantInit(&argument);
        argument.vt = VT_I4 | VT_BYREF;
        argument.plVal = &index;
        call(method, {argument});
        stake_index = index;
    }

    // Looks the method up by name and invokes it; `arguments` in the order the method declares them.
    std::unique_ptr<variant> call(const char* method, std::vector<VARIANT> arguments) {
        std::wstring name = wide(method);
        LPOLESTR names[] = {name.data()};
        DISPID id = DISPID_UNKNOWN;
        HRESULT result = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(result)) fail(no_such_method, prog_id_ + "." + method + ": " + hresult_text(result));

        // IDispatch takes the arguments last first.
        std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
        DISPPARAMS parameters{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()),
                              0};
        auto answer = std::make_unique<variant>();
        EXCEPINFO exception{};
        UINT bad_argument = 0;
        result = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, &answer->v,
                                 &exception, &bad_argument);
        if (result == DISP_E_EXCEPTION) {
            if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
            std::string why = narrow(exception.bstrDescription);
            if (why.empty()) why = hresult_text(exception.scode);
            ::SysFreeString(exception.bstrSource);
            ::SysFreeString(exception.bstrDescription);
            ::SysFreeString(exception.bstrHelpFile);
            fail(automation_error, prog_id_ + "." + method + ": " + why);
        }
        if (result == DISP_E_MEMBERNOTFOUND)
            fail(no_such_method, prog_id_ + "." + method + ": " + hresult_text(result));
        if (result == DISP_E_TYPEMISMATCH || result == DISP_E_BADVARTYPE) {
            fail(type_mismatch,
                 prog_id_ + "." + method + " argument " + std::to_string(bad_argument) + ": " + hresult_text(result));
        }
        if (FAILED(result)) fail(automation_error, prog_id_ + "." + method + ": " + hresult_text(result));
        return answer;
    }

    double number_of(const std::unique_ptr<variant>& answer, const char* method) {
        variant as_double;
        const HRESULT result = ::VariantChangeType(&as_double.v, &answer->v, 0, VT_R8);
        if (FAILED(result))
            fail(type_mismatch, prog_id_ + "." + method + " answered no number: " + hresult_text(result));
        return as_double.v.dblVal;
    }

    IDispatch* object_;
    std::string prog_id_;
};

class automation_client_shell final : public client_shell {
public:
    explicit automation_client_shell(std::string prog_id) : prog_id_(std::move(prog_id)) {}

    std::shared_ptr<shell_object> attach() override {
        initialise_com();
        CLSID class_id{};
        HRESULT result = ::CLSIDFromProgID(wide(prog_id_).c_str(), &class_id);
        // Not registered means the shell was never installed: it cannot be running either.
        if (FAILED(result)) fail(cannot_create_object, prog_id_ + " is not registered: " + hresult_text(result));
        IUnknown* running = nullptr;
        result = ::GetActiveObject(class_id, nullptr, &running);
        if (FAILED(result) || running == nullptr)
            fail(cannot_create_object, prog_id_ + " is not running: " + hresult_text(result));
        IDispatch* dispatch = nullptr;
        result = running->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
        running->Release();
        if (FAILED(result) || dispatch == nullptr) {
            fail(cannot_create_object, prog_id_ + " offers no automation interface: " + hresult_text(result));
        }
        return std::make_shared<automation_object>(dispatch, prog_id_);
    }

private:
    std::string prog_id_;
};

}  // namespace

namespace win32 {

std::unique_ptr<client_shell> make_automation_client_shell(const std::string& prog_id) {
    return std::make_unique<automation_client_shell>(prog_id);
}

}  // namespace win32

std::unique_ptr<client_shell> make_native_client_shell(const std::string&) {
    return win32::make_automation_client_shell(win32::client_shell_prog_id);
}

}  // namespace quizhost

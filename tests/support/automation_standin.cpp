#ifdef _WIN32

#include "support/automation_standin.hpp"

#include <cstring>
#include <cwchar>
#include <stdexcept>

namespace quizhost::testing {

// {6E1C2B4A-7F0D-4C8E-9A51-3B2D8E4F1A77}
const CLSID automation_standin_class = {0x6e1c2b4a, 0x7f0d, 0x4c8e, {0x9a, 0x51, 0x3b, 0x2d, 0x8e, 0x4f, 0x1a, 0x77}};

namespace {

const wchar_t* const method_names[] = {L"GetCredit",           L"GetBank",   L"GetStake",       L"UseCreditEx",
                                       L"UseCreditFromBankEx", L"AddToBank", L"FreeGameStarted"};
constexpr int method_count = sizeof method_names / sizeof method_names[0];

std::string narrow(const wchar_t* text) {
    std::string out;
    for (; *text != L'\0'; ++text) out += static_cast<char>(*text);
    return out;
}

double value_of(const VARIANT& argument) {
    const VARIANT* inner = &argument;
    if (argument.vt == (VT_VARIANT | VT_BYREF)) inner = argument.pvarVal;
    switch (inner->vt) {
        case VT_I2:
            return inner->iVal;
        case VT_I4:
            return inner->lVal;
        case VT_R8:
            return inner->dblVal;
        case VT_I2 | VT_BYREF:
            return *inner->piVal;
        case VT_I4 | VT_BYREF:
            return *inner->plVal;
        case VT_R8 | VT_BYREF:
            return *inner->pdblVal;
        default:
            return -999;
    }
}

// Registers the ProgID in the classes root; where that is refused (a user without the right on Windows)
// in the user's own classes, which Windows merges into the root. Answers the key's parent.
HKEY set_class_key(const std::string& prog_id, const std::string& class_text) {
    const std::string root_path = prog_id + "\\CLSID";
    const std::string user_path = "Software\\Classes\\" + root_path;
    const std::pair<HKEY, std::string> places[] = {{HKEY_CLASSES_ROOT, root_path}, {HKEY_CURRENT_USER, user_path}};
    for (const auto& [parent, path] : places) {
        HKEY key = nullptr;
        if (::RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            continue;
        ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(class_text.c_str()),
                         static_cast<DWORD>(class_text.size() + 1));
        ::RegCloseKey(key);
        return parent;
    }
    throw std::runtime_error("cannot register " + prog_id);
}

}  // namespace

automation_standin::automation_standin() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

automation_standin::~automation_standin() {
    revoke();
    if (registered_in_ == HKEY_CLASSES_ROOT) ::RegDeleteTreeA(HKEY_CLASSES_ROOT, prog_id_.c_str());
    if (registered_in_ == HKEY_CURRENT_USER)
        ::RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\Classes\\" + prog_id_).c_str());
}

void automation_standin::register_running(const std::string& prog_id) {
    prog_id_ = prog_id;
    wchar_t class_text[64];
    ::StringFromGUID2(automation_standin_class, class_text, 64);
    registered_in_ = set_class_key(prog_id, narrow(class_text));
    if (FAILED(::RegisterActiveObject(this, automation_standin_class, ACTIVEOBJECT_STRONG, &cookie_))) {
        throw std::runtime_error("RegisterActiveObject failed");
    }
}

void automation_standin::revoke() {
    if (cookie_ == 0) return;
    ::RevokeActiveObject(cookie_, nullptr);
    cookie_ = 0;
    // The running object table lets go of its reference in its own time.
    ::CoFreeUnusedLibraries();
}

HRESULT automation_standin::QueryInterface(REFIID riid, void** object) {
    if (::IsEqualIID(riid, IID_IUnknown) || ::IsEqualIID(riid, IID_IDispatch)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG automation_standin::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }

// The object lives on the test's stack: the count is kept only to see that the host lets go of it.
ULONG automation_standin::Release() { return static_cast<ULONG>(::InterlockedDecrement(&references_)); }

HRESULT automation_standin::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

HRESULT automation_standin::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }

HRESULT automation_standin::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (count != 1) return E_INVALIDARG;
    for (int i = 0; i < method_count; ++i) {
        // Automation names ignore letter case.
        if (::_wcsicmp(names[0], method_names[i]) == 0) {
            ids[0] = i + 1;
            return S_OK;
        }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT automation_standin::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                   EXCEPINFO* exception, UINT*) {
    if (id < 1 || id > method_count) return DISP_E_MEMBERNOTFOUND;
    if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    call made{narrow(method_names[id - 1]), {}, {}, {}};
    // The arguments come last first.
    for (UINT i = parameters->cArgs; i > 0; --i) {
        const VARIANT& argument = parameters->rgvarg[i - 1];
        made.types.push_back(argument.vt);
        made.inner.push_back(argument.vt == (VT_VARIANT | VT_BYREF) ? argument.pvarVal->vt : VARTYPE{VT_EMPTY});
        made.values.push_back(value_of(parameters->rgvarg[i - 1]));
    }
    calls.push_back(made);

    if (made.method == failing_method) {
        std::memset(exception, 0, sizeof *exception);
        std::wstring text(failure_text.begin(), failure_text.end());
        exception->bstrDescription = ::SysAllocString(text.c_str());
        exception->scode = E_FAIL;
        return DISP_E_EXCEPTION;
    }
    if ((made.method == "UseCreditEx" || made.method == "UseCreditFromBankEx") && write_back_index >= 0 &&
        parameters->rgvarg[0].vt == (VT_I4 | VT_BYREF)) {
        *parameters->rgvarg[0].plVal = write_back_index;
    }
    double answer = answers.count(made.method) != 0 ? answers[made.method] : 0;
    if (made.method == "GetStake" && !made.values.empty()) {
        const auto found = stakes.find(static_cast<int>(made.values[0]));
        answer = found == stakes.end() ? 0 : found->second;
    }
    if (result != nullptr) {
        ::VariantInit(result);
        if (answer_type == VT_BSTR) {
            result->vt = VT_BSTR;
            result->bstrVal = ::SysAllocString(L"lots");
        } else {
            result->vt = VT_R8;
            result->dblVal = answer;
        }
    }
    return S_OK;
}

}  // namespace quizhost::testing

#endif

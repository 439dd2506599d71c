// An in-process stand-in for the cabinet shell's automation object: a small IDispatch that records every
// call with its arguments' variant types and values, registered as the running instance of a ProgID of
// its own (in the current user's classes) for as long as it lives. Wine cannot host the real shell, so
// the late-bound calls are proved against this.
#pragma once

#ifdef _WIN32

#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>

#include <map>
#include <string>
#include <vector>

namespace quizhost::testing {

class automation_standin final : public IDispatch {
public:
    struct call {
        std::string method;
        std::vector<VARTYPE> types;  // each argument's type as passed, in declared order
        std::vector<VARTYPE> inner;  // for a variant passed by reference, the type it holds (else VT_EMPTY)
        std::vector<double> values;  // each argument's value, through any reference
    };

    automation_standin();
    ~automation_standin();
    automation_standin(const automation_standin&) = delete;
    automation_standin& operator=(const automation_standin&) = delete;

    // Registers the ProgID with this object's class and the object as its running instance.
    void register_running(const std::string& prog_id);
    // Takes the object out of the running object table (the shell has stopped); the ProgID stays.
    void revoke();

    std::vector<call> calls;
    std::map<std::string, double> answers;  // what a method answers (missing: 0)
    std::map<int, double> stakes;           // GetStake's answer per level
    std::string failing_method;             // raises an exception with this description
    std::string failure_text = "coin mech jammed";
    LONG write_back_index = -1;   // when >= 0, the use-credit methods write it through the reference
    VARTYPE answer_type = VT_R8;  // type of the answers (VT_BSTR to answer text)

    // IUnknown and IDispatch.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                     EXCEPINFO* exception, UINT* bad_argument) override;

    LONG references() const { return references_; }

private:
    LONG references_ = 1;
    DWORD cookie_ = 0;
    std::string prog_id_;
    HKEY registered_in_ = nullptr;
};

// The class id the stand-in registers its ProgID with.
extern const CLSID automation_standin_class;

}  // namespace quizhost::testing

#endif

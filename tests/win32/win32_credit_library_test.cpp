// The credit library bound the Windows way: LoadLibraryA at the first call, beside the program first,
// then the search path; each entry point by name with GetProcAddress.
#include <gtest/gtest.h>

#ifdef _WIN32

#include "definitions.hpp"
#include "platform/win32/win32_factories.hpp"
#include "support/run_time_errors.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using testing::test_host;

using testing::error_of;

TEST(Win32CreditLibrary, MissingUnloadableAndIncompleteLibraries) {
    test_host t;
    // Found nowhere: File not found, at the first call (making the library loads nothing).
    auto missing = win32::make_credit_library(t.folder.path(), "quizhost_no_such_tccomm.dll");
    EXPECT_EQ(error_of([&] { missing->cget(); }), file_not_found);
    EXPECT_EQ(error_of([&] { missing->badd(5); }), file_not_found);

    // Beside the program but no DLL at all: Error in loading DLL.
    t.write("tccomm.dll", "this is not a DLL");
    auto damaged = make_native_credit_library(t.folder.path());
    EXPECT_EQ(error_of([&] { damaged->cuse(50); }), error_loading_dll);

    // A DLL without the entry points: Specified DLL function not found, for each entry point asked for.
    auto foreign = win32::make_credit_library(t.folder.path(), "kernel32.dll");
    EXPECT_EQ(error_of([&] { foreign->cget(); }), dll_function_not_found);
    EXPECT_EQ(error_of([&] { foreign->bget(); }), dll_function_not_found);
}

}  // namespace
}  // namespace quizhost

#endif

// The Windows file calls behind the file system seam: the error numbers of Windows' own failures, paths
// in either separator, and the atomic replace while another reader holds the file open.
#include <gtest/gtest.h>

#ifdef _WIN32

#include <windows.h>

#include "definitions.hpp"
#include "platform/file_system.hpp"
#include "support/run_time_errors.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using testing::test_host;

using testing::error_of;

class Win32Files : public ::testing::Test {
protected:
    test_host t;
    file_system& fs = *t.files;
};

TEST_F(Win32Files, WindowsFailuresCarryTheHostsNumbers) {
    t.write("system/x.txt", "x");
    // A folder read as a file is a wrong path, not a refused one.
    EXPECT_EQ(error_of([&] { fs.read_file(t.path("system")); }), path_file_access_error);
    EXPECT_EQ(error_of([&] { fs.read_file(t.path("system\\missing.txt")); }), file_not_found);
    EXPECT_EQ(error_of([&] { fs.read_file(t.path("nothing\\missing.txt")); }), path_not_found);
    EXPECT_EQ(error_of([&] { fs.sync_folder(t.path("nothing")); }), path_not_found);
    EXPECT_EQ(error_of([&] { fs.read_file("Q:\\no\\such\\drive.txt"); }), path_not_found);
    // A file another program holds open without sharing cannot be rewritten: permission denied, and it
    // keeps its bytes.
    const HANDLE holder =
        ::CreateFileA(t.path("system/x.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error_of([&] { fs.write_file(t.path("system/x.txt"), "y"); }), permission_denied);
    EXPECT_EQ(error_of([&] { fs.append_to_file(t.path("system/x.txt"), "y"); }), permission_denied);
    ::CloseHandle(holder);
    EXPECT_EQ(t.read("system/x.txt"), "x");
}

TEST_F(Win32Files, EitherSeparatorAndTrailingSeparators) {
    fs.create_folder(t.path("logs") + "\\");
    fs.create_folder(t.path("logs") + "/");
    EXPECT_TRUE(fs.folder_exists(t.path("logs")));
    fs.write_file(t.folder.path() + "/logs/a.txt", "forward");
    EXPECT_EQ(fs.read_file(t.folder.path() + "\\logs\\a.txt"), "forward");
    EXPECT_EQ(fs.file_size(t.path("logs/a.txt")), 7);
}

TEST_F(Win32Files, AReplaceOfAFileHeldOpenIsNeverTorn) {
    // Another program (an auditor's viewer) holds the meter file open, sharing everything as well-behaved
    // Windows programs do, or sharing nothing. Windows replaces a file shared for deletion; wine and a
    // program that shares nothing refuse the move. Either way the file is the old one or the new one.
    for (const DWORD sharing : {DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}, DWORD{0}}) {
        SCOPED_TRACE("sharing " + std::to_string(sharing));
        t.write("system/logs/meter.txt", "old");
        const HANDLE reader = ::CreateFileA(t.path("system/logs/meter.txt").c_str(), GENERIC_READ, sharing, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        const int error = error_of([&] { replace_file(fs, t.path("system/logs/meter.txt"), "new"); });
        ::CloseHandle(reader);
        if (error == 0) {
            EXPECT_EQ(t.read("system/logs/meter.txt"), "new");
        } else {
            EXPECT_EQ(error, permission_denied);
            EXPECT_EQ(t.read("system/logs/meter.txt"), "old");
        }
        if (sharing == 0) {
            EXPECT_EQ(error, permission_denied);
        }
    }
    // Once the reader has gone, the next replace goes through.
    replace_file(fs, t.path("system/logs/meter.txt"), "newer");
    EXPECT_EQ(t.read("system/logs/meter.txt"), "newer");
}

TEST_F(Win32Files, TheWorkFileIsNeverTheTargetUnderAnotherSpelling) {
    // "scrap.txt" as the work file of "SCRAP.TXT" written with forward slashes is still the same file.
    t.write("system/SCRAP.TXT", "old");
    replace_file(fs, t.folder.path() + "/system/SCRAP.TXT", "new", "scrap.txt");
    EXPECT_EQ(t.read("system/SCRAP.TXT"), "new");
}

}  // namespace
}  // namespace quizhost

#endif

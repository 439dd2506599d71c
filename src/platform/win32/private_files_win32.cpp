// RtlGenRandom (SystemFunction036 of advapi32) is the generator rand_s and the C runtime use; BCrypt would
// need another library for the same bytes.
#include <windows.h>
// ntsecapi.h needs windows.h first.
#include <ntsecapi.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/private_files.hpp"

namespace quizhost {

void fill_system_random(unsigned char* bytes, std::size_t count) {
    while (count > 0) {
        const ULONG piece = count > 0x10000 ? 0x10000 : static_cast<ULONG>(count);
        if (!RtlGenRandom(bytes, piece)) throw private_files_error("the system's random generator failed");
        bytes += piece;
        count -= piece;
    }
}

std::string private_folder() {
    // The user's local application data: its access list lets in only the user, the system and the
    // administrators, and every file made below it inherits that.
    const char* local = std::getenv("LOCALAPPDATA");
    if (local == nullptr || *local == '\0') throw private_files_error("LOCALAPPDATA is not set");
    const std::string folder = std::string(local) + "\\quizhost";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw private_files_error("cannot create " + folder + ": " + error.message());
    return folder;
}

void write_private_file(const std::string& path, const std::string& text) {
    const std::string work = path + ".new";
    {
        std::ofstream out(work, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(work, ignored);
            throw private_files_error("cannot write " + work);
        }
    }
    if (!::MoveFileExA(work.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        std::error_code ignored;
        std::filesystem::remove(work, ignored);
        throw private_files_error("cannot replace " + path + " (error " + std::to_string(::GetLastError()) + ")");
    }
}

}  // namespace quizhost

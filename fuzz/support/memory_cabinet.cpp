#include "support/memory_cabinet.hpp"

#include <array>

#include "content/encryption.hpp"
#include "definitions.hpp"
#include "platform/paths.hpp"
#include "support/fuzz_input.hpp"

namespace quizhost::fuzzing {

memory_cabinet::memory_cabinet() {
    files.create_folder(cabinet_folder);
    headless.attach(host.io);
    host.io.files = &files;
    host.io.clock = &clock;
    host.io.library = credit.get();
    host.io.shell = credit.get();
    host.program_folder = cabinet_folder;
}

std::string memory_cabinet::path(std::string_view relative) const {
    return std::string(cabinet_folder) + "/" + std::string(relative);
}

void memory_cabinet::write(std::string_view relative, std::string_view bytes) {
    const std::string full = path(relative);
    for (std::size_t at = std::string(cabinet_folder).size() + 1; (at = full.find('/', at)) != std::string::npos;
         ++at) {
        const std::string folder = full.substr(0, at);
        if (!files.folder_exists(folder)) files.create_folder(folder);
    }
    files.write_file(full, bytes);
}

std::string memory_cabinet::read(std::string_view relative) { return files.read_file(path(relative)); }

bool memory_cabinet::exists(std::string_view relative) { return files.file_exists(path(relative)); }

void memory_cabinet::set_paths() {
    host.start.system_path = host.program_folder + system_folder_name;
    host.start.variable_path = host.program_folder + variable_folder_name;
    host.start.data_path = host.program_folder + data_folder_name;
    host.start.setup_file_path = host.start.system_path + setup_file_name;
}

namespace {

// The question files' bytes, enciphered once for the whole run: enciphering is the slow part of setting
// up a cabinet.
const std::string& question_file_bytes(int difficulty, int set) {
    static const auto files = [] {
        std::array<std::string, 8> bytes;
        for (int d = 1; d <= 4; ++d) {
            for (int s = 1; s <= 2; ++s) {
                if (d == 4 && s == 2) continue;
                for (int n = 1; n <= 3; ++n) {
                    const std::string plain =
                        "Q" + std::to_string(d) + std::to_string(s) + std::to_string(n) + "|A|B|C|D|1";
                    bytes[static_cast<std::size_t>((d - 1) * 2 + s - 1)] +=
                        encrypt_string(plain, question_key) + "\r\n";
                }
            }
        }
        return bytes;
    }();
    return files[static_cast<std::size_t>((difficulty - 1) * 2 + set - 1)];
}

}  // namespace

void memory_cabinet::write_question_files() {
    for (int difficulty = 1; difficulty <= 4; ++difficulty) {
        for (int set = 1; set <= 2; ++set) {
            write("data/data_" + std::to_string(difficulty) + "_" + std::to_string(set) + ".dat",
                  question_file_bytes(difficulty, set));
        }
    }
}

void queue_draws(queued_draws& draws, std::string_view numbers) {
    for (double u : draws_in(numbers)) draws.queue(u);
}

}  // namespace quizhost::fuzzing

// What the tools beside running a cabinet share.
#include "tools.hpp"

#include "player/cabinet.hpp"

namespace quizhost {

void add_root_option(CLI::App& command, std::string& root) {
    command.add_option("--root", root, "the cabinet folder (default: the folder holding quizhost)")->type_name("DIR");
}

read_only_cabinet open_read_only_cabinet(const std::string& root) {
    return {without_trailing_separator(root.empty() ? executable_folder(nullptr) : root), make_native_file_system()};
}

}  // namespace quizhost

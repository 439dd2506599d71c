// `quizhost commands`: the reference of every movie command, for the game developer.
#include <cstdio>
#include <memory>
#include <string>

#include "forms/command_reference.hpp"
#include "tools.hpp"

namespace quizhost {

void add_commands_command(CLI::App& app, int& status) {
    auto markdown = std::make_shared<bool>(false);
    CLI::App* commands = app.add_subcommand(
        "commands",
        "Print the reference of every command a movie can raise: its argument, the variable it answers and "
        "the answer's format with an example, what it changes in which file, and how it fails");
    auto typescript = std::make_shared<bool>(false);
    const auto markdown_flag =
        commands->add_flag("--markdown", *markdown, "Print it as Markdown, as docs/commands.md holds it");
    commands
        ->add_flag("--typescript", *typescript,
                   "Print the movie runtime's TypeScript types, as web/runtime/movie.d.ts holds them")
        ->excludes(markdown_flag);
    commands->footer(
        "Examples:\n  quizhost commands --markdown > docs/commands.md\n"
        "  quizhost commands --typescript > web/runtime/movie.d.ts\nExit status: 0.");
    commands->callback([markdown, typescript, &status] {
        const std::string text = *typescript ? command_reference_typescript()
                                 : *markdown ? command_reference_markdown()
                                             : command_reference_text();
        std::fwrite(text.data(), 1, text.size(), stdout);
        status = std::fflush(stdout) == 0 ? 0 : 1;
    });
}

}  // namespace quizhost

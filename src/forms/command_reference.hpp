// The game developer's reference of the movie commands: for every row of the command table, what its
// argument is, what its answer variable holds, a real exchange, what it changes on disk and how it fails.
// Kept beside the table and keyed by its names, so a command added to the table without its reference
// fails the tests, and `quizhost commands` prints it.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace quizhost {

struct command_reference {
    const char* name;
    const char* argument;  // its format and range, and what happens outside them
    const char* answer;    // the answer's format (the variable comes from the command table); "" for none
    // A real exchange on a fresh cabinet (tests/forms/command_reference_test.cpp plays each one): script lines
    // that set the scene first ("draw\t0"), the argument, and the answer the variable gets ("..." at the
    // end: the answer begins so). For a command without an answer, `example_answer` says what it did.
    const char* example_scene;
    const char* example_args;
    const char* example_answer;
    const char* changes;  // what it changes, in which file
    const char* failure;  // how it fails
};

// Every reference, in the command table's order.
std::span<const command_reference> command_references();

// The reference of `name`; nullptr when there is none.
const command_reference* find_command_reference(std::string_view name);

// The whole reference, built from the command table: as Markdown (docs/commands.md) or as plain text.
// A row without a reference is printed as such, so the gap shows.
std::string command_reference_markdown();
std::string command_reference_text();

// The intro movie's INTRO_END, which the intro form takes (it is no row of the command table).
const command_reference& intro_command_reference();

// The order of one game's commands and what their arguments mean, as the reference holds it.
std::string game_sequence_text(bool markdown);

// The movie runtime's TypeScript types (web/runtime/movie.d.ts): every command with its argument's shape and
// its answer variable.
std::string command_reference_typescript();

// A command of the table whose name is close to `name` (another letter case, a letter or two off), for
// the --trace line of a command that matches no row; "" when none is.
std::string nearest_command(std::string_view name);

}  // namespace quizhost

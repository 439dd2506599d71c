// `quizhost content encrypt|decrypt|check`: the content author's tools.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>

#include "content/content_tools.hpp"
#include "content/encryption.hpp"
#include "definitions.hpp"
#include "platform/file_system.hpp"
#include "records/text_records.hpp"
#include "tools.hpp"

namespace quizhost {
namespace {

struct content_options {
    std::string key = question_key;
    std::string in;
    std::string out;
    std::string folder;
};

constexpr const char* status_footer =
    "Exit status: 0 clean, 1 warnings only, 2 errors (nothing is written when enciphering finds an error).";

void print_findings(const content_findings& findings, std::FILE* to) {
    for (const auto& finding : findings.list) std::fprintf(to, "%s\n", format_finding(finding).c_str());
}

// One line on standard error, rewritten as the work goes on and ended when it is done.
void show_progress(const std::string& file, long done, long total) {
    std::fprintf(stderr, "\rdeciphering %s: %ld of %ld lines", file.c_str(), done, total);
    if (done == total) std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

// The bytes of a file, or of standard input for "-"; a finding when it cannot be read.
bool read_input(file_system& fs, const std::string& path, std::string& bytes, content_findings& findings) {
    if (path == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    try {
        bytes = read_bounded_file(fs, path, question_file_size_limit);
        return true;
    } catch (const run_time_error& e) {
        findings.add(content_finding::level::error, path, 0,
                     "cannot be read: " + e.description() + (e.detail().empty() ? "" : " (" + e.detail() + ")"));
        return false;
    }
}

// Writes the whole output at once, replacing any old file in one step; "-" is standard output.
bool write_output(file_system& fs, const std::string& path, const std::string& bytes, content_findings& findings) {
    if (path == "-") {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return std::fflush(stdout) == 0;
    }
    try {
        replace_file(fs, path, bytes);
        return true;
    } catch (const run_time_error& e) {
        findings.add(content_finding::level::error, path, 0,
                     "cannot be written: " + e.description() + (e.detail().empty() ? "" : " (" + e.detail() + ")"));
        return false;
    }
}

int run_encrypt(const content_options& options) {
    auto fs = make_native_file_system();
    content_findings findings;
    std::string plain;
    if (read_input(*fs, options.in, plain, findings)) {
        ciphered_lines result = encipher_lines(plain, options.key, options.in == "-" ? "<stdin>" : options.in);
        findings = std::move(result.findings);
        if (findings.status() < 2 && write_output(*fs, options.out, result.bytes, findings)) {
            std::fprintf(stderr, "enciphered %ld line%s into %s\n", result.lines, result.lines == 1 ? "" : "s",
                         options.out == "-" ? "standard output" : options.out.c_str());
        } else if (findings.status() == 2) {
            findings.add(content_finding::level::note, options.out, 0, "nothing written");
        }
    }
    print_findings(findings, stderr);
    return findings.status();
}

int run_decrypt(const content_options& options) {
    auto fs = make_native_file_system();
    content_findings findings;
    std::string enciphered;
    if (read_input(*fs, options.in, enciphered, findings)) {
        ciphered_lines result =
            decipher_lines(enciphered, options.key, options.in == "-" ? "<stdin>" : options.in, show_progress);
        findings = std::move(result.findings);
        write_output(*fs, options.out, result.bytes, findings);
    }
    print_findings(findings, stderr);
    return findings.status();
}

int run_check(const content_options& options) {
    auto fs = make_native_file_system();
    const content_findings findings = check_data_folder(*fs, options.folder, show_progress);
    print_findings(findings, stdout);
    const long errors = findings.count(content_finding::level::error);
    const long warnings = findings.count(content_finding::level::warning);
    std::printf("%s: %ld error%s, %ld warning%s\n", options.folder.c_str(), errors, errors == 1 ? "" : "s", warnings,
                warnings == 1 ? "" : "s");
    return findings.status();
}

}  // namespace

void add_content_commands(CLI::App& app, int& status) {
    auto options = std::make_shared<content_options>();
    CLI::App* content = app.add_subcommand(
        "content", "The content author's tools: encipher and decipher question files, check a data folder");
    content->require_subcommand(1);
    content->footer(
        "Question files (data/data_D_S.dat, difficulty D 1-4, set S 1-2) hold one enciphered question per line.\n"
        "Typical use:\n"
        "  quizhost content encrypt questions_1_1.txt data/data_1_1.dat\n"
        "  quizhost content decrypt data/data_1_1.dat -\n"
        "  quizhost content check data\n" +
        std::string(status_footer));

    const std::string key_help = std::string("The cipher key (default: the question key \"") + question_key +
                                 "\", the only key the host deciphers questions with; an empty key means \"" +
                                 default_cipher_key + "\")";

    CLI::App* encrypt = content->add_subcommand(
        "encrypt", "Encipher plain question lines, one question per line, into a question file");
    encrypt->add_option("--key", options->key, key_help)->type_name("K");
    encrypt
        ->add_option("IN", options->in,
                     "The plain text: one question per line, LF or CR LF line ends; - reads standard input")
        ->required();
    encrypt
        ->add_option(
            "OUT", options->out,
            "The question file to write (replaced whole, or left untouched on any error); - writes standard output")
        ->required();
    encrypt->footer(
        std::string(
            "Refuses, naming the line, an empty line, a character the key cannot carry, and any line that would not\n"
            "decipher back to itself; warns about characters outside ASCII.\n") +
        status_footer);
    encrypt->callback([options, &status] { status = run_encrypt(*options); });

    CLI::App* decrypt =
        content->add_subcommand("decrypt", "Decipher a question file back into plain lines, to check it");
    decrypt->add_option("--key", options->key, key_help)->type_name("K");
    decrypt->add_option("IN", options->in, "The question file; - reads standard input")->required();
    decrypt->add_option("OUT", options->out, "The plain text to write; - writes standard output")->required();
    decrypt->footer(
        std::string("A line that cannot be deciphered is reported with its number and left empty in OUT, so the line\n"
                    "numbers of both files match.\n") +
        status_footer);
    decrypt->callback([options, &status] { status = run_decrypt(*options); });

    CLI::App* check = content->add_subcommand("check", "Check a data folder before it goes to a cabinet");
    check->add_option("DIR", options->folder, "The data folder: weighted tables, question files, instructions.txt")
        ->required();
    check->footer(
        std::string(
            "Loads the weighted tables as the host does and reports with file and line, as errors, whatever would "
            "stop\n"
            "the game at start-up or in play (empty tables, short rows, non-numeric weights, questions or game modes\n"
            "without a row, missing or empty question files the tables can draw, lines that do not decipher), and as\n"
            "warnings what is legal but suspicious (plan weights of a mode not adding up to 100, rows over 100).\n") +
        "Exit status: 0 clean, 1 warnings only, 2 errors.");
    check->callback([options, &status] { status = run_check(*options); });
}

}  // namespace quizhost

#include "platform/file_system.hpp"

#include "basic/text.hpp"
#include "definitions.hpp"
#include "platform/paths.hpp"

namespace quizhost {

std::string file_system::read_counted_line(const std::string& path, const std::function<long(long count)>& choose) {
    const std::string bytes = read_file(path);
    long count = 0;
    for (std::size_t at = 0; (at = bytes.find('\n', at)) != std::string::npos; ++at) ++count;
    if (!bytes.empty() && bytes.back() != '\n') ++count;  // a last line without its end

    const long wanted = choose(count);
    if (wanted < 1 || wanted > count) {
        throw run_time_error(input_past_end_of_file, error_description(input_past_end_of_file), path);
    }
    std::size_t start = 0;
    for (long line = 1; line < wanted; ++line) start = bytes.find('\n', start) + 1;
    return std::string(next_line(bytes, start));
}

std::string folder_of(const std::string& path) {
    const auto at = path.find_last_of("/\\");
    if (at == std::string::npos) return ".";
    if (at == 0) return path.substr(0, 1);
    return path.substr(0, at);
}

namespace {

// Whether two paths name the same file as far as their text tells: either separator, and on Windows,
// whose file names ignore letter case, either case.
bool same_path(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x == '\\') x = '/';
        if (y == '\\') y = '/';
#ifdef _WIN32
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
#endif
        if (x != y) return false;
    }
    return true;
}

}  // namespace

bool file_system::exchange_files(const std::string&, const std::string&) { return false; }

std::optional<std::int64_t> file_system::modified_time(const std::string&) { return std::nullopt; }

void replace_file(file_system& fs, const std::string& path, std::string_view bytes, std::string_view work_name) {
    const std::string folder = folder_of(path);
    std::string work = work_name.empty() ? path + ".new" : folder + path_separator + std::string(work_name);
    bool kept_work = !work_name.empty();
    // Writing the work file must never truncate the target itself.
    if (same_path(work, path)) {
        work = path + ".new";
        kept_work = false;
    }
    fs.write_file(work, bytes);
    fs.sync_file(work);
    if (kept_work && fs.exchange_files(work, path)) {
        try {
            fs.sync_folder(folder);
        } catch (const run_time_error&) {
            // The swap may not be durable, and after a power cut the work file's name could still stand
            // for the target's old file, which the next replacement would then rewrite in place. Drop
            // the name, so the next one starts a new work file.
            try {
                fs.delete_file(work);
            } catch (const run_time_error&) {
            }
            throw;
        }
        return;
    }
    fs.rename_file(work, path);
    fs.sync_folder(folder);
}

void copy_file_atomically(file_system& fs, const std::string& from, const std::string& to) {
    replace_file(fs, to, fs.read_file(from));
}

}  // namespace quizhost

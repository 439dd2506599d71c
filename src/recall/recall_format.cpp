#include "recall/recall_format.hpp"

#include <fmt/format.h>

#include <boost/crc.hpp>

namespace quizhost {

std::optional<std::string> recall_record::value(std::string_view key) const {
    for (const auto& [k, v] : fields) {
        if (k == key) return v;
    }
    return std::nullopt;
}

std::uint32_t recall_checksum(std::string_view bytes) {
    boost::crc_32_type crc;
    crc.process_bytes(bytes.data(), bytes.size());
    return crc.checksum();
}

std::string recall_value(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

std::string format_recall_record(const recall_record& record) {
    std::string payload = recall_value(record.kind);
    for (const auto& [key, value] : record.fields) {
        payload += '\t';
        // A key holds no "=": the first one in a field ends it.
        std::string k = recall_value(key);
        for (char& c : k) {
            if (c == '=') c = '_';
        }
        payload += k + "=" + recall_value(value);
    }
    return fmt::format("{:08x}\t{}", recall_checksum(payload), payload);
}

namespace {

bool is_lower_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

}  // namespace

std::optional<recall_record> parse_recall_record(std::string_view line, std::string& why) {
    if (line.size() < 10 || line[8] != '\t') {
        why = "not a record (no checksum field)";
        return std::nullopt;
    }
    std::uint32_t stored = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        if (!is_lower_hex(line[i])) {
            why = "not a record (no checksum field)";
            return std::nullopt;
        }
        stored = stored * 16 + static_cast<std::uint32_t>(line[i] <= '9' ? line[i] - '0' : line[i] - 'a' + 10);
    }
    const std::string_view payload = line.substr(9);
    if (recall_checksum(payload) != stored) {
        why = "checksum does not match (cut short or changed)";
        return std::nullopt;
    }
    recall_record record;
    std::size_t at = 0;
    bool first = true;
    while (at <= payload.size()) {
        std::size_t end = payload.find('\t', at);
        if (end == std::string_view::npos) end = payload.size();
        const std::string_view field = payload.substr(at, end - at);
        if (first) {
            record.kind = std::string(field);
            first = false;
        } else {
            const std::size_t equals = field.find('=');
            if (equals == std::string_view::npos) {
                record.add(std::string(field), "");
            } else {
                record.add(std::string(field.substr(0, equals)), std::string(field.substr(equals + 1)));
            }
        }
        at = end + 1;
    }
    if (record.kind.empty()) {
        why = "a record without a kind";
        return std::nullopt;
    }
    return record;
}

}  // namespace quizhost

// Where the host's traced events go: the headless transcript on standard output, the browser player's
// --trace on standard error, or nowhere. One event per line, fields separated by TAB, escaped.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

namespace quizhost {

class event_sink {
public:
    virtual ~event_sink() = default;
    virtual void event(std::initializer_list<std::string_view> fields) = 0;
    // True once an event could not be written (the reader of a pipe went away): the ones after it are lost.
    virtual bool broken() const { return false; }
};

class null_event_sink final : public event_sink {
public:
    void event(std::initializer_list<std::string_view>) override {}
};

// Writes each event as one escaped line to a stdio stream and flushes it, so a reader sees it at once.
class stream_event_sink final : public event_sink {
public:
    explicit stream_event_sink(std::FILE* out) : out_(out) {}
    void event(std::initializer_list<std::string_view> fields) override;
    bool broken() const override { return broken_; }

private:
    std::FILE* out_;
    bool broken_ = false;
};

// The transcript's field escapes: backslash, TAB, CR, LF as \\ \t \r \n, other bytes below 32 and 127 as
// \xHH. Bytes 128 to 255 pass unchanged.
std::string escape_field(std::string_view text);

}  // namespace quizhost

// Shockwave Flash files: the header and tag stream of a movie, stored uncompressed ("FWS"), with zlib
// ("CWS") or with LZMA ("ZWS"). The reader never trusts a length it reads: a damaged or truncated file is
// a swf_error saying what was wrong, never a read past the end. The writer makes the host's own movies
// (the shim that answers a game, the demo's movies, the test movies).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quizhost::swf {

struct swf_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class compression { none, zlib, lzma };

// "FWS", "CWS" or "ZWS" and the movie's name for it ("uncompressed", "zlib", "LZMA").
const char* signature_of(compression c);
const char* compression_name(compression c);

using bytes = std::vector<std::uint8_t>;

struct rect {
    std::int32_t x_min = 0, x_max = 0, y_min = 0, y_max = 0;  // twips (1/20 pixel)
};

struct tag {
    std::uint16_t code = 0;
    bytes body;
};

namespace tag_code {
inline constexpr std::uint16_t end = 0, show_frame = 1, define_shape = 2, place_object = 4, define_button = 7,
                               set_background_color = 9, do_action = 12, define_shape2 = 22, place_object2 = 26,
                               define_button2 = 34, define_edit_text = 37, define_sprite = 39, frame_label = 43,
                               do_init_action = 59, file_attributes = 69, place_object3 = 70, do_abc_old = 72,
                               do_abc = 82;
}

struct movie {
    compression stored = compression::none;
    std::uint8_t version = 6;
    rect frame{0, 800 * 20, 0, 600 * 20};
    double frame_rate = 30;  // frames per second (stored as 8.8 fixed point)
    std::uint16_t frame_count = 1;
    std::vector<tag> tags;  // without the closing End tag
};

// True when `start` begins as a Flash file does ("FWS", "CWS" or "ZWS").
bool looks_like_swf(std::string_view start);

// The first eight bytes: the signature, the version and the length the file says it unpacks to.
struct swf_header {
    compression stored = compression::none;
    std::uint8_t version = 0;
    std::uint32_t file_length = 0;
};
swf_header read_header(std::string_view data);

// Whether this build can unpack movies stored so (zlib and LZMA are optional on some builds).
bool can_read(compression c);

movie read_movie(std::string_view data);
// The tags inside a DefineSprite's body (its id and frame count skipped).
std::vector<tag> sprite_tags(const bytes& body);

bytes write_movie(const movie& m);

// Bits and bytes as a movie stores them, little-endian.
class writer {
public:
    void u8(std::uint32_t v) { out_.push_back(static_cast<std::uint8_t>(v & 0xFF)); }
    void u16(std::uint32_t v) {
        u8(v);
        u8(v >> 8);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void f64(double v);              // an action's double: the two halves swapped, as the player stores them
    void text(std::string_view s) {  // a NUL-ended string
        out_.insert(out_.end(), s.begin(), s.end());
        out_.push_back(0);
    }
    void raw(const bytes& b) { out_.insert(out_.end(), b.begin(), b.end()); }
    void bits(std::uint32_t value, unsigned count);
    void signed_bits(std::int32_t value, unsigned count) { bits(static_cast<std::uint32_t>(value), count); }
    void align();  // ends a bit field
    void rectangle(const rect& r);
    void tag_header(std::uint16_t code, std::size_t length);
    void add_tag(const tag& t);
    std::size_t size() const { return out_.size(); }
    bytes& data() { return out_; }

private:
    bytes out_;
    std::uint8_t bit_byte_ = 0;
    unsigned bit_count_ = 0;
};

// Reads what a writer wrote; every read past the end is a swf_error naming `what` was being read.
class reader {
public:
    explicit reader(std::string_view data) : data_(data) {}
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    double f64();
    std::string text();  // up to its NUL
    std::string_view take(std::size_t n);
    void skip(std::size_t n) { take(n); }
    std::uint32_t bits(unsigned count);
    std::int32_t signed_bits(unsigned count);
    void align() { bit_count_ = 0; }
    rect rectangle();
    void matrix();                     // skipped
    void color_transform(bool alpha);  // skipped
    std::size_t left() const { return data_.size() - at_; }
    bool done() const { return at_ >= data_.size(); }

private:
    std::string_view data_;
    std::size_t at_ = 0;
    std::uint8_t bit_byte_ = 0;
    unsigned bit_count_ = 0;
};

}  // namespace quizhost::swf

#include "swf/swf_file.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#ifdef QUIZHOST_HAVE_ZLIB
#include <zlib.h>
#endif
#ifdef QUIZHOST_HAVE_LZMA
#include <lzma.h>
#endif

namespace quizhost::swf {
namespace {

// No cabinet movie comes near this; a damaged header that claims more must not make the host allocate it.
constexpr std::size_t max_unpacked = std::size_t{256} << 20;
constexpr std::size_t unpack_step = std::size_t{64} << 10;

[[noreturn]] void fail(const std::string& what) { throw swf_error(what); }

std::string_view as_view(const bytes& b) { return {reinterpret_cast<const char*>(b.data()), b.size()}; }

#ifdef QUIZHOST_HAVE_ZLIB
std::string unpack_zlib(std::string_view packed, std::size_t expected) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) fail("zlib would not start");
    std::string out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    int result = Z_OK;
    while (out.size() < expected) {
        const std::size_t at = out.size();
        out.resize(std::min(expected, at + unpack_step));
        z.next_out = reinterpret_cast<Bytef*>(out.data() + at);
        z.avail_out = static_cast<uInt>(out.size() - at);
        result = inflate(&z, Z_NO_FLUSH);
        out.resize(out.size() - z.avail_out);
        if (result == Z_STREAM_END) break;
        if (result != Z_OK) {
            inflateEnd(&z);
            fail(result == Z_BUF_ERROR ? "the zlib data ends early (the file is truncated)"
                                       : "the zlib data is damaged");
        }
    }
    inflateEnd(&z);
    return out;
}

bytes pack_zlib(const bytes& plain) {
    uLongf size = compressBound(static_cast<uLong>(plain.size()));
    bytes out(size);
    if (compress2(out.data(), &size, plain.data(), static_cast<uLong>(plain.size()), 9) != Z_OK) {
        fail("zlib could not pack the movie");
    }
    out.resize(size);
    return out;
}
#endif

#ifdef QUIZHOST_HAVE_LZMA
// A ZWS body: the packed length (4 bytes), the five LZMA property bytes, then the raw LZMA stream.
std::string unpack_lzma(std::string_view packed, std::size_t expected) {
    if (packed.size() < 9) fail("the LZMA header is truncated");
    // An "LZMA alone" stream as liblzma reads it: the properties, then an unknown size (the data may or
    // may not end with an end marker; the unpacked length is known from the SWF header).
    std::string alone(packed.substr(4, 5));
    alone.append(8, '\xFF');
    alone.append(packed.substr(9));
    lzma_stream z = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&z, UINT64_MAX) != LZMA_OK) fail("LZMA would not start");
    std::string out;
    z.next_in = reinterpret_cast<const std::uint8_t*>(alone.data());
    z.avail_in = alone.size();
    while (out.size() < expected) {
        const std::size_t at = out.size();
        out.resize(std::min(expected, at + unpack_step));
        z.next_out = reinterpret_cast<std::uint8_t*>(out.data() + at);
        z.avail_out = out.size() - at;
        const lzma_ret result = lzma_code(&z, LZMA_FINISH);
        out.resize(out.size() - z.avail_out);
        if (result == LZMA_STREAM_END) break;
        if (result == LZMA_OK && z.avail_out == 0) continue;
        lzma_end(&z);
        fail(result == LZMA_BUF_ERROR || result == LZMA_OK ? "the LZMA data ends early (the file is truncated)"
                                                           : "the LZMA data is damaged");
    }
    lzma_end(&z);
    return out;
}

bytes pack_lzma(const bytes& plain) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    lzma_stream z = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&z, &options) != LZMA_OK) fail("LZMA would not start");
    bytes out(plain.size() + plain.size() / 2 + 1024);
    z.next_in = plain.data();
    z.avail_in = plain.size();
    z.next_out = out.data();
    z.avail_out = out.size();
    const lzma_ret result = lzma_code(&z, LZMA_FINISH);
    const std::size_t made = out.size() - z.avail_out;
    lzma_end(&z);
    if (result != LZMA_STREAM_END || made < 13) fail("LZMA could not pack the movie");
    // The alone header is 5 property bytes and an 8-byte size; a ZWS file keeps only the properties.
    bytes zws;
    writer length;
    length.u32(static_cast<std::uint32_t>(made - 13));
    zws = length.data();
    zws.insert(zws.end(), out.begin(), out.begin() + 5);
    zws.insert(zws.end(), out.begin() + 13, out.begin() + static_cast<std::ptrdiff_t>(made));
    return zws;
}
#endif

std::vector<tag> read_tags(reader& in, bool& ended) {
    std::vector<tag> tags;
    ended = false;
    while (!in.done()) {
        const std::uint16_t code_and_length = in.u16();
        const auto code = static_cast<std::uint16_t>(code_and_length >> 6);
        std::size_t length = code_and_length & 0x3F;
        if (length == 0x3F) length = in.u32();
        if (length > in.left()) {
            fail("tag " + std::to_string(code) + " says it is " + std::to_string(length) + " bytes long, but only " +
                 std::to_string(in.left()) + " are left (the file is truncated or damaged)");
        }
        const std::string_view body = in.take(length);
        if (code == tag_code::end) {
            ended = true;
            break;
        }
        tags.push_back({code, bytes(body.begin(), body.end())});
    }
    return tags;
}

}  // namespace

const char* signature_of(compression c) {
    switch (c) {
        case compression::zlib:
            return "CWS";
        case compression::lzma:
            return "ZWS";
        case compression::none:
            break;
    }
    return "FWS";
}

const char* compression_name(compression c) {
    switch (c) {
        case compression::zlib:
            return "zlib (CWS)";
        case compression::lzma:
            return "LZMA (ZWS)";
        case compression::none:
            break;
    }
    return "uncompressed (FWS)";
}

bool looks_like_swf(std::string_view start) {
    return start.size() >= 3 && (start[0] == 'F' || start[0] == 'C' || start[0] == 'Z') && start[1] == 'W' &&
           start[2] == 'S';
}

bool can_read(compression c) {
#ifdef QUIZHOST_HAVE_ZLIB
    constexpr bool zlib = true;
#else
    constexpr bool zlib = false;
#endif
#ifdef QUIZHOST_HAVE_LZMA
    constexpr bool lzma = true;
#else
    constexpr bool lzma = false;
#endif
    return c == compression::none || (c == compression::zlib && zlib) || (c == compression::lzma && lzma);
}

swf_header read_header(std::string_view data) {
    if (!looks_like_swf(data)) fail("not a Flash movie (it does not start with FWS, CWS or ZWS)");
    if (data.size() < 8) fail("the file ends inside its 8-byte header");
    reader in(data.substr(3));
    swf_header h;
    h.stored = data[0] == 'F' ? compression::none : data[0] == 'C' ? compression::zlib : compression::lzma;
    h.version = in.u8();
    h.file_length = in.u32();
    return h;
}

movie read_movie(std::string_view data) {
    const swf_header h = read_header(data);
    if (h.file_length < 8) fail("the header says the movie is " + std::to_string(h.file_length) + " bytes long");
    const std::size_t body_length = std::min<std::size_t>(h.file_length - 8, max_unpacked);
    std::string unpacked;
    std::string_view body = data.substr(8);
    if (h.stored == compression::zlib || h.stored == compression::lzma) {
        if (!can_read(h.stored)) {
            fail(std::string("this build of quizhost cannot unpack ") + compression_name(h.stored) + " movies");
        }
#ifdef QUIZHOST_HAVE_ZLIB
        if (h.stored == compression::zlib) unpacked = unpack_zlib(body, body_length);
#endif
#ifdef QUIZHOST_HAVE_LZMA
        if (h.stored == compression::lzma) unpacked = unpack_lzma(body, body_length);
#endif
        body = unpacked;
    }
    if (body.size() > body_length) body = body.substr(0, body_length);
    reader in(body);
    movie m;
    m.stored = h.stored;
    m.version = h.version;
    m.frame = in.rectangle();
    const std::uint16_t rate = in.u16();
    m.frame_rate = rate / 256.0;
    m.frame_count = in.u16();
    bool ended = false;
    m.tags = read_tags(in, ended);
    if (!ended) fail("the movie has no End tag (the file is truncated)");
    return m;
}

std::vector<tag> sprite_tags(const bytes& body) {
    reader in(as_view(body));
    in.u16();  // its character id
    in.u16();  // its frame count
    bool ended = false;
    return read_tags(in, ended);
}

bytes write_movie(const movie& m) {
    writer body;
    body.rectangle(m.frame);
    body.u16(static_cast<std::uint32_t>(std::clamp(m.frame_rate, 0.0, 255.0) * 256.0));
    body.u16(m.frame_count);
    for (const tag& t : m.tags) body.add_tag(t);
    body.tag_header(tag_code::end, 0);
    const bytes& plain = body.data();

    writer out;
    const char* signature = signature_of(m.stored);
    out.u8(static_cast<std::uint8_t>(signature[0]));
    out.u8('W');
    out.u8('S');
    out.u8(m.version);
    out.u32(static_cast<std::uint32_t>(plain.size() + 8));
    switch (m.stored) {
        case compression::none:
            out.raw(plain);
            break;
        case compression::zlib:
#ifdef QUIZHOST_HAVE_ZLIB
            out.raw(pack_zlib(plain));
            break;
#else
            fail("this build of quizhost cannot write zlib (CWS) movies");
#endif
        case compression::lzma:
#ifdef QUIZHOST_HAVE_LZMA
            out.raw(pack_lzma(plain));
            break;
#else
            fail("this build of quizhost cannot write LZMA (ZWS) movies");
#endif
    }
    return out.data();
}

// --- writer ---

void writer::f64(double v) {
    const auto all = std::bit_cast<std::uint64_t>(v);
    u32(static_cast<std::uint32_t>(all >> 32));
    u32(static_cast<std::uint32_t>(all & 0xFFFFFFFF));
}

void writer::bits(std::uint32_t value, unsigned count) {
    for (unsigned i = count; i-- > 0;) {
        bit_byte_ = static_cast<std::uint8_t>((static_cast<std::uint32_t>(bit_byte_) << 1U) | ((value >> i) & 1U));
        if (++bit_count_ == 8) {
            out_.push_back(bit_byte_);
            bit_byte_ = 0;
            bit_count_ = 0;
        }
    }
}

void writer::align() {
    if (bit_count_ == 0) return;
    out_.push_back(static_cast<std::uint8_t>(bit_byte_ << (8 - bit_count_)));
    bit_byte_ = 0;
    bit_count_ = 0;
}

namespace {
unsigned signed_bits_needed(std::int32_t v) {
    const std::uint32_t magnitude = v < 0 ? ~static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
    return static_cast<unsigned>(std::bit_width(magnitude)) + 1;
}
}  // namespace

void writer::rectangle(const rect& r) {
    const unsigned n = std::max({signed_bits_needed(r.x_min), signed_bits_needed(r.x_max), signed_bits_needed(r.y_min),
                                 signed_bits_needed(r.y_max)});
    bits(n, 5);
    signed_bits(r.x_min, n);
    signed_bits(r.x_max, n);
    signed_bits(r.y_min, n);
    signed_bits(r.y_max, n);
    align();
}

void writer::tag_header(std::uint16_t code, std::size_t length) {
    // The long form always for the tags that players expect in it; the short one where it fits.
    if (length < 0x3F) {
        u16(static_cast<std::uint32_t>(code << 6) | static_cast<std::uint32_t>(length));
    } else {
        u16(static_cast<std::uint32_t>(code << 6) | 0x3F);
        u32(static_cast<std::uint32_t>(length));
    }
}

void writer::add_tag(const tag& t) {
    tag_header(t.code, t.body.size());
    raw(t.body);
}

// --- reader ---

std::string_view reader::take(std::size_t n) {
    bit_count_ = 0;
    if (n > left()) fail("the data ends early (truncated or damaged)");
    const std::string_view part = data_.substr(at_, n);
    at_ += n;
    return part;
}

std::uint8_t reader::u8() { return static_cast<std::uint8_t>(take(1)[0]); }

std::uint16_t reader::u16() {
    const auto b = take(2);
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[0]) | (static_cast<std::uint8_t>(b[1]) << 8));
}

std::uint32_t reader::u32() {
    const std::uint32_t low = u16();
    return low | (static_cast<std::uint32_t>(u16()) << 16);
}

double reader::f64() {
    const std::uint64_t high = u32();
    const std::uint64_t low = u32();
    return std::bit_cast<double>((high << 32) | low);
}

std::string reader::text() {
    const auto end = data_.find('\0', at_);
    if (end == std::string_view::npos) fail("a string has no end (truncated or damaged)");
    std::string s(data_.substr(at_, end - at_));
    at_ = end + 1;
    bit_count_ = 0;
    return s;
}

std::uint32_t reader::bits(unsigned count) {
    std::uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i) {
        if (bit_count_ == 0) {
            if (at_ >= data_.size()) fail("the data ends inside a bit field");
            bit_byte_ = static_cast<std::uint8_t>(data_[at_++]);
            bit_count_ = 8;
        }
        --bit_count_;
        value = (value << 1) | ((static_cast<unsigned>(bit_byte_) >> bit_count_) & 1U);
    }
    return value;
}

std::int32_t reader::signed_bits(unsigned count) {
    if (count == 0) return 0;
    const std::uint32_t raw = bits(count);
    const std::uint32_t sign = 1U << (count - 1);
    return static_cast<std::int32_t>((raw ^ sign) - sign);
}

rect reader::rectangle() {
    const unsigned n = bits(5);
    rect r;
    r.x_min = signed_bits(n);
    r.x_max = signed_bits(n);
    r.y_min = signed_bits(n);
    r.y_max = signed_bits(n);
    align();
    return r;
}

void reader::matrix() {
    if (bits(1)) {
        const unsigned n = bits(5);
        bits(2 * n);
    }
    if (bits(1)) {
        const unsigned n = bits(5);
        bits(2 * n);
    }
    const unsigned n = bits(5);
    bits(2 * n);
    align();
}

void reader::color_transform(bool alpha) {
    const bool add = bits(1) != 0;
    const bool mult = bits(1) != 0;
    const unsigned n = bits(4);
    const unsigned fields = alpha ? 4 : 3;
    if (mult) bits(n * fields);
    if (add) bits(n * fields);
    align();
}

}  // namespace quizhost::swf

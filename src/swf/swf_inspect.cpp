#include "swf/swf_inspect.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

#include "swf/avm1.hpp"

namespace quizhost::swf {
namespace {

// A sprite inside a sprite is not something the authoring tool writes; a damaged file could nest them
// without end.
constexpr int max_sprite_depth = 8;
constexpr std::string_view fscommand_prefix = "FSCommand:";

std::string_view as_view(const bytes& b) { return {reinterpret_cast<const char*>(b.data()), b.size()}; }

struct collector {
    movie_facts& facts;
    std::set<std::string> commands_seen;
    std::set<std::string> texts_seen;

    void add(std::string_view code, const char* where) {
        action_strings found;
        scan_actions(code, found);
        for (auto& text : found.texts) {
            const bool command =
                text.size() >= fscommand_prefix.size() &&
                std::equal(fscommand_prefix.begin(), fscommand_prefix.end(), text.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                });
            if (command) {
                std::string name = text.substr(fscommand_prefix.size());
                if (commands_seen.insert(name).second) facts.commands.push_back({name, where});
            }
            if (texts_seen.insert(text).second) facts.texts.push_back(text);
        }
    }

    void button2(const bytes& body) {
        reader in(as_view(body));
        in.u16();  // id
        in.u8();   // flags
        std::uint16_t offset = in.u16();
        if (offset == 0) return;
        // The offset counts from its own field; the condition actions follow the character records.
        std::string_view rest = as_view(body).substr(3);
        if (offset > rest.size()) throw swf_error("a button's actions lie past the end of its tag");
        rest = rest.substr(offset);
        while (!rest.empty()) {
            reader cond(rest);
            const std::uint16_t size = cond.u16();
            cond.u16();  // conditions
            const std::string_view code = size == 0 ? rest.substr(4) : rest.substr(4, size >= 4 ? size - 4 : 0);
            add(code, "button actions");
            if (size == 0) break;
            if (size > rest.size()) throw swf_error("a button's action list runs past the end of its tag");
            rest = rest.substr(size);
        }
    }

    void button1(const bytes& body) {
        reader in(as_view(body));
        in.u16();  // id
        // Character records until a 0 byte; each is flags, id, depth, matrix.
        for (;;) {
            const std::uint8_t flags = in.u8();
            if (flags == 0) break;
            in.u16();
            in.u16();
            in.matrix();
        }
        add(in.take(in.left()), "button actions");
    }

    void clip_actions(reader& in, std::uint8_t version) {
        in.u16();  // reserved
        const bool wide = version >= 6;
        if (wide)
            in.u32();
        else
            in.u16();  // all events
        for (;;) {
            const std::uint32_t events = wide ? in.u32() : in.u16();
            if (events == 0) break;
            std::uint32_t size = in.u32();
            if (wide && (events & 0x00020000U) != 0 && size > 0) {  // a key-press event: its key code first
                in.u8();
                --size;
            }
            add(in.take(size), "clip actions");
        }
    }

    void place2(const bytes& body, std::uint8_t version) {
        reader in(as_view(body));
        const std::uint8_t flags = in.u8();
        in.u16();  // depth
        if (flags & 0x02) in.u16();
        if (flags & 0x04) in.matrix();
        if (flags & 0x08) in.color_transform(true);
        if (flags & 0x10) in.u16();
        if (flags & 0x20) in.text();
        if (flags & 0x40) in.u16();
        if (flags & 0x80) clip_actions(in, version);
    }

    void place3(const bytes& body, std::uint8_t version) {
        reader in(as_view(body));
        const std::uint8_t flags = in.u8();
        const std::uint8_t flags2 = in.u8();
        in.u16();                                                               // depth
        if ((flags2 & 0x08) || ((flags2 & 0x10) && (flags & 0x02))) in.text();  // class name
        if (flags & 0x02) in.u16();
        if (flags & 0x04) in.matrix();
        if (flags & 0x08) in.color_transform(true);
        if (flags & 0x10) in.u16();
        if (flags & 0x20) in.text();
        if (flags & 0x40) in.u16();
        // Filters come before the clip actions and take a reader of their own; such clips are rare in the
        // movies the host plays, and their actions are left unread rather than misread.
        if (flags2 & 0x01) return;
        if (flags2 & 0x02) in.u8();   // blend mode
        if (flags2 & 0x04) in.u8();   // bitmap cache
        if (flags2 & 0x20) in.u8();   // visible
        if (flags2 & 0x40) in.u32();  // background colour
        if (flags & 0x80) clip_actions(in, version);
    }

    void tags(const std::vector<tag>& list, std::uint8_t version, int depth) {
        for (const tag& t : list) {
            switch (t.code) {
                case tag_code::do_action:
                    add(as_view(t.body), "frame actions");
                    break;
                case tag_code::do_init_action:
                    if (t.body.size() < 2) throw swf_error("a DoInitAction tag is shorter than its sprite id");
                    add(as_view(t.body).substr(2), "init actions");
                    break;
                case tag_code::define_button:
                    button1(t.body);
                    break;
                case tag_code::define_button2:
                    button2(t.body);
                    break;
                case tag_code::place_object2:
                    place2(t.body, version);
                    break;
                case tag_code::place_object3:
                    place3(t.body, version);
                    break;
                case tag_code::define_sprite:
                    if (depth >= max_sprite_depth) throw swf_error("sprites nest deeper than any movie's do");
                    tags(sprite_tags(t.body), version, depth + 1);
                    break;
                case tag_code::do_abc:
                case tag_code::do_abc_old:
                    facts.avm2 = true;
                    break;
                case tag_code::file_attributes:
                    if (!t.body.empty() && (t.body[0] & 0x08)) facts.avm2 = true;
                    break;
                case tag_code::set_background_color:
                    if (depth == 0 && t.body.size() >= 3 && !facts.has_background) {
                        facts.has_background = true;
                        facts.background = static_cast<std::uint32_t>(t.body[0] << 16 | t.body[1] << 8 | t.body[2]);
                    }
                    break;
                default:
                    break;
            }
        }
    }
};

}  // namespace

movie_facts inspect_movie(std::string_view data) {
    const movie m = read_movie(data);
    movie_facts facts;
    facts.stored = m.stored;
    facts.version = m.version;
    facts.frame = m.frame;
    facts.frame_rate = m.frame_rate;
    facts.frame_count = m.frame_count;
    collector c{facts, {}, {}};
    c.tags(m.tags, m.version, 0);
    return facts;
}

int width_of(const rect& r) { return static_cast<int>(std::lround((r.x_max - r.x_min) / 20.0)); }
int height_of(const rect& r) { return static_cast<int>(std::lround((r.y_max - r.y_min) / 20.0)); }

}  // namespace quizhost::swf

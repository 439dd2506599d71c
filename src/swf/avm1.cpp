#include "swf/avm1.hpp"

#include <cstring>

namespace quizhost::swf {
namespace {

[[noreturn]] void fail(const std::string& what) { throw swf_error(what); }

void patch_u16(bytes& code, std::size_t at, std::uint32_t value) {
    code[at] = static_cast<std::uint8_t>(value & 0xFF);
    code[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

}  // namespace

void actions::record(std::uint8_t code, const bytes& payload) {
    if (payload.size() > 0xFFFF) fail("an action's operands are longer than 65535 bytes");
    writer w;
    w.u8(code);
    w.u16(static_cast<std::uint32_t>(payload.size()));
    w.raw(payload);
    code_.insert(code_.end(), w.data().begin(), w.data().end());
}

actions& actions::simple(std::uint8_t code) {
    if (code >= 0x80) fail("action " + std::to_string(code) + " takes operands");
    code_.push_back(code);
    return *this;
}

actions& actions::push(const std::vector<push_value>& values) {
    writer w;
    for (const auto& value : values) {
        if (const auto* s = std::get_if<std::string>(&value)) {
            w.u8(0);
            w.text(*s);
        } else if (const auto* d = std::get_if<double>(&value)) {
            w.u8(6);
            w.f64(*d);
        } else if (const auto* i = std::get_if<std::int32_t>(&value)) {
            w.u8(7);
            w.u32(static_cast<std::uint32_t>(*i));
        } else if (const auto* b = std::get_if<bool>(&value)) {
            w.u8(5);
            w.u8(*b ? 1 : 0);
        } else if (std::holds_alternative<null_value>(value)) {
            w.u8(2);
        } else if (std::holds_alternative<undefined_value>(value)) {
            w.u8(3);
        } else if (const auto* r = std::get_if<register_ref>(&value)) {
            w.u8(4);
            w.u8(r->number);
        } else {
            const auto index = std::get<constant_ref>(value).index;
            if (index < 256) {
                w.u8(8);
                w.u8(index);
            } else {
                w.u8(9);
                w.u16(index);
            }
        }
    }
    record(op::push, w.data());
    return *this;
}

actions& actions::constant_pool(const std::vector<std::string>& names) {
    writer w;
    w.u16(static_cast<std::uint32_t>(names.size()));
    for (const auto& name : names) w.text(name);
    record(op::constant_pool, w.data());
    return *this;
}

actions& actions::get_url(const std::string& url, const std::string& target) {
    writer w;
    w.text(url);
    w.text(target);
    record(op::get_url, w.data());
    return *this;
}

actions& actions::get_url2(std::uint8_t flags) {
    record(op::get_url2, {flags});
    return *this;
}

actions& actions::goto_frame(std::uint16_t frame) {
    writer w;
    w.u16(frame);
    record(op::goto_frame, w.data());
    return *this;
}

actions& actions::goto_label(const std::string& label) {
    writer w;
    w.text(label);
    record(op::goto_label, w.data());
    return *this;
}

actions& actions::set_target(const std::string& target) {
    writer w;
    w.text(target);
    record(op::set_target, w.data());
    return *this;
}

actions& actions::store_register(std::uint8_t number) {
    record(op::store_register, {number});
    return *this;
}

actions& actions::branch(std::uint8_t code, const std::string& label) {
    record(code, {0, 0});
    branches_.emplace_back(code_.size() - 2, label);
    return *this;
}

actions& actions::label(const std::string& name) {
    if (!labels_.emplace(name, code_.size()).second) fail("the label " + name + " is placed twice");
    return *this;
}

actions& actions::begin_function(const std::string& name, const std::vector<std::string>& parameters) {
    writer w;
    w.text(name);
    w.u16(static_cast<std::uint32_t>(parameters.size()));
    for (const auto& parameter : parameters) w.text(parameter);
    w.u16(0);  // the body's size, set by end_function
    record(op::define_function, w.data());
    functions_.push_back(code_.size() - 2);
    return *this;
}

actions& actions::end_function() {
    if (functions_.empty()) fail("end_function without begin_function");
    const std::size_t size_at = functions_.back();
    functions_.pop_back();
    const std::size_t size = code_.size() - (size_at + 2);
    if (size > 0xFFFF) fail("a function's body is longer than 65535 bytes");
    patch_u16(code_, size_at, static_cast<std::uint32_t>(size));
    return *this;
}

bytes actions::finish() const {
    if (!functions_.empty()) fail("a function is not closed");
    bytes code = code_;
    for (const auto& [at, name] : branches_) {
        const auto target = labels_.find(name);
        if (target == labels_.end()) fail("the label " + name + " is used but never placed");
        const auto offset = static_cast<std::ptrdiff_t>(target->second) - static_cast<std::ptrdiff_t>(at + 2);
        if (offset < -32768 || offset > 32767) fail("the label " + name + " is out of a branch's reach");
        patch_u16(code, at, static_cast<std::uint32_t>(static_cast<std::uint16_t>(static_cast<std::int16_t>(offset))));
    }
    code.push_back(op::end);
    return code;
}

void scan_actions(std::string_view code, action_strings& out) {
    reader in(code);
    std::vector<std::string> pool;
    while (!in.done()) {
        const std::uint8_t action = in.u8();
        ++out.action_count;
        if (action == op::end) break;
        if (action < 0x80) continue;
        const std::uint16_t length = in.u16();
        if (length > in.left()) fail("action " + std::to_string(action) + " runs past the end of its list");
        reader operands(in.take(length));
        if (action == op::constant_pool) {
            pool.clear();
            const std::uint16_t count = operands.u16();
            for (std::uint16_t i = 0; i < count && !operands.done(); ++i) {
                pool.push_back(operands.text());
                out.texts.push_back(pool.back());
            }
        } else if (action == op::push) {
            while (!operands.done()) {
                const std::uint8_t type = operands.u8();
                switch (type) {
                    case 0:
                        out.texts.push_back(operands.text());
                        break;
                    case 1:
                        operands.skip(4);
                        break;  // float
                    case 4:     // register
                    case 5:     // boolean
                        operands.skip(1);
                        break;
                    case 6:
                        operands.skip(8);
                        break;  // double
                    case 7:
                        operands.skip(4);
                        break;  // integer
                    case 8:
                    case 9: {
                        const std::uint16_t index = type == 8 ? operands.u8() : operands.u16();
                        if (index < pool.size()) out.texts.push_back(pool[index]);
                        break;
                    }
                    case 2:
                    case 3:
                        break;  // null, undefined
                    default:
                        fail("a Push action holds a value of unknown type " + std::to_string(type));
                }
            }
        } else if (action == op::get_url) {
            out.texts.push_back(operands.text());
            out.texts.push_back(operands.text());
        }
        // Function bodies and With blocks follow their record in the same list: the walk reads them on.
    }
}

}  // namespace quizhost::swf

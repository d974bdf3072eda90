#include "platform/reg_file_format.h"

#include <charconv>
#include <cstdio>

namespace zentrel::platform::reg_file {

namespace {

constexpr std::uint32_t Type_Sz = 1;
constexpr std::uint32_t Type_Binary = 3;
constexpr std::uint32_t Type_Dword = 4;

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (is_blank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A quoted text with the escapes \" and \\ at the start of text; on success
// text is left after the closing quote. Any other backslash stands for itself.
bool take_quoted(std::string_view& text, std::string& out) {
    if (text.empty() || text.front() != '"') return false;
    out.clear();
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            text.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) ++i;
        out += text[i];
    }
    return false;
}

// "01,02,ff" (blanks allowed around the bytes, a trailing comma too).
bool parse_hex_bytes(std::string_view text, std::string& out) {
    out.clear();
    text = trimmed(text);
    while (!text.empty()) {
        std::size_t comma = text.find(',');
        std::string_view byte = trimmed(text.substr(0, comma));
        if (byte.empty() || byte.size() > 2) return false;
        int value = 0;
        for (char c : byte) {
            const int digit = hex_digit(c);
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        out += static_cast<char>(value);
        if (comma == std::string_view::npos) break;
        text = trimmed(text.substr(comma + 1));
    }
    return true;
}

bool parse_hex_number(std::string_view text, std::uint32_t& value) {
    if (text.empty() || text.size() > 8) return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return error == std::errc{} && end == text.data() + text.size();
}

// The data after '=': a quoted text, dword:, hex: or hex(N):. continuation
// supplies the next line when hex data ends in a backslash.
template <typename Next_Line>
bool parse_data(std::string_view text, Value& value, Next_Line continuation) {
    if (!text.empty() && text.front() == '"') {
        std::string content;
        if (!take_quoted(text, content) || !trimmed(text).empty()) return false;
        value.type = Type_Sz;
        value.data = content + '\0';
        return true;
    }
    std::string_view lowered_prefix = text.substr(0, 6);
    std::string prefix;
    for (char c : lowered_prefix) prefix += lower(c);
    if (prefix == "dword:") {
        std::uint32_t number = 0;
        if (!parse_hex_number(trimmed(text.substr(6)), number)) return false;
        value.type = Type_Dword;
        value.data.assign({static_cast<char>(number & 0xff), static_cast<char>((number >> 8) & 0xff),
                           static_cast<char>((number >> 16) & 0xff), static_cast<char>((number >> 24) & 0xff)});
        return true;
    }
    if (prefix.rfind("hex", 0) != 0) return false;
    text.remove_prefix(3);
    value.type = Type_Binary;
    if (!text.empty() && text.front() == '(') {
        const std::size_t close = text.find(')');
        if (close == std::string_view::npos || !parse_hex_number(text.substr(1, close - 1), value.type)) return false;
        text.remove_prefix(close + 1);
    }
    if (text.empty() || text.front() != ':') return false;
    text.remove_prefix(1);
    std::string bytes_text(trimmed(text));
    // Long data goes on over several lines, each but the last ending in '\'.
    while (!bytes_text.empty() && bytes_text.back() == '\\') {
        bytes_text.pop_back();
        std::string_view next;
        if (!continuation(next)) break;
        bytes_text += trimmed(next);
    }
    return parse_hex_bytes(bytes_text, value.data);
}

bool is_valid_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        int extra = 0;
        std::uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xe0) == 0xc0) {
            extra = 1, code = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            extra = 2, code = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            extra = 3, code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80) return false;
            code = (code << 6) | (next & 0x3f);
        }
        const std::uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (code < least[extra] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;
        i += extra + 1;
    }
    return true;
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

// A text that the quoted form carries unchanged: one terminating NUL, no NUL
// or line break inside (they would end the value or the line), valid UTF-8 so
// that the file stays a UTF-8 text.
bool fits_quoted_form(const std::string& data) {
    if (data.empty() || data.back() != '\0') return false;
    std::string_view text(data.data(), data.size() - 1);
    return text.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos && is_valid_utf8(text);
}

std::string hex_form(const Value& value) {
    std::string out;
    if (value.type == Type_Binary) {
        out = "hex:";
    } else {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
        out = prefix;
    }
    static constexpr char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        const auto byte = static_cast<unsigned char>(value.data[i]);
        if (i > 0) out += ',';
        out += digits[byte >> 4];
        out += digits[byte & 0xf];
    }
    return out;
}

}  // namespace

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string normalized_key_path(std::string_view path) {
    std::string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) {
            if (!out.empty()) out += '\\';
            out += path.substr(start, end - start);
        }
        start = end + 1;
    }
    return out;
}

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lower(c);
    return out;
}

}  // namespace

const Value* Key::find(std::string_view name) const {
    const auto found = value_index.find(lowered(name));
    return found == value_index.end() ? nullptr : &values[found->second];
}

Value& Key::set(std::string_view name) {
    const auto [slot, added] = value_index.try_emplace(lowered(name), values.size());
    if (added) values.push_back({std::string(name), 0, {}});
    return values[slot->second];
}

Key* Document::find(std::string_view path) {
    const auto found = key_index.find(lowered(path));
    return found == key_index.end() ? nullptr : &keys[found->second];
}

bool Document::exists(std::string_view path) const {
    if (path.empty() || key_index.count(lowered(path))) return true;
    // A key that only holds other keys has no section of its own; this is
    // asked when a key is opened, not for each value.
    for (const Key& key : keys)
        if (key.path.size() > path.size() && key.path[path.size()] == '\\' &&
            same_name(std::string_view(key.path).substr(0, path.size()), path))
            return true;
    return false;
}

Key& Document::section(std::string_view path) {
    const auto [slot, added] = key_index.try_emplace(lowered(path), keys.size());
    if (added) keys.push_back({std::string(path), {}, {}});
    return keys[slot->second];
}

Key& Document::create(std::string_view path) {
    // Every key above this one gets a section of its own, as regedit writes them.
    for (std::size_t end = path.find('\\'); end != std::string_view::npos; end = path.find('\\', end + 1))
        section(path.substr(0, end));
    return section(path);
}

const Value* find_value(const Key& key, std::string_view name) { return key.find(name); }

bool acceptable_key_path(std::string_view path) {
    std::size_t depth = 0;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end - start > Longest_Key_Name || ++depth > Deepest_Key) return false;
        start = end + 1;
    }
    return true;
}

namespace {

// One reading of a file's text, line by line, into a document.
class Reader {
public:
    Reader(std::string_view text, std::string_view root_name) : text_(text), root_name_(root_name) {}

    Document read() {
        reserve_sections();
        // An editor may have put a byte order mark in front.
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") position_ = 3;
        std::string_view raw;
        bool first = true;
        while (next_line(raw)) {
            const std::string_view line = trimmed(raw);
            if (first) {
                first = false;
                if (line != "REGEDIT4") document_.damaged = true;  // the header alone names no line
                if (line == "REGEDIT4") continue;
            }
            if (line.empty() || line.front() == ';') continue;
            if (line.front() == '[')
                read_section_line(line);
            else
                read_value_line(line);
        }
        if (first) document_.damaged = false;  // an empty file is simply an empty registry
        return std::move(document_);
    }

private:
    // Index of the section being read; none outside a section of this root.
    static constexpr std::size_t None = static_cast<std::size_t>(-1);

    // The next line without its '\n'; false at the end of the text.
    bool next_line(std::string_view& line) {
        if (position_ >= text_.size()) return false;
        ++line_number_;
        std::size_t end = text_.find('\n', position_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(position_, end - position_);
        position_ = end + 1;
        return true;
    }

    // One section a '[' line at most: the keys never move while they are read.
    void reserve_sections() {
        std::size_t sections = 1;
        for (std::size_t at = text_.find("\n["); at != std::string_view::npos; at = text_.find("\n[", at + 2))
            ++sections;
        document_.keys.reserve(sections);
        document_.key_index.reserve(sections);
    }

    void mark_damaged(std::size_t line_number) {
        if (document_.first_damaged_line == 0) document_.first_damaged_line = line_number;
        document_.damaged = true;
    }

    // "[root\path]": the values that follow belong to that key, or to none
    // when the line names another root or no acceptable path.
    void read_section_line(std::string_view line) {
        current_ = None;
        const std::size_t close = line.rfind(']');
        if (close == std::string_view::npos || close != line.size() - 1) return mark_damaged(line_number_);
        const std::string_view full = line.substr(1, close - 1);
        const std::size_t slash = full.find('\\');
        const std::string_view root = full.substr(0, slash);
        if (!same_name(root, root_name_)) {
            // "[-...]" removes a key when a file is imported; here it reads as nothing.
            if (root.empty() || root.front() != '-') mark_damaged(line_number_);
            return;
        }
        const std::string path =
            normalized_key_path(slash == std::string_view::npos ? std::string_view() : full.substr(slash + 1));
        if (!acceptable_key_path(path)) return mark_damaged(line_number_);
        const Key& key = document_.section(path);
        current_ = static_cast<std::size_t>(&key - document_.keys.data());
    }

    // "name"=data or @=data, its data continued on the lines after it.
    void read_value_line(std::string_view line) {
        Value value;
        std::string_view rest = line;
        if (rest.front() == '@')
            rest.remove_prefix(1);
        else if (!take_quoted(rest, value.name))
            return mark_damaged(line_number_);
        rest = trimmed(rest);
        if (rest.empty() || rest.front() != '=') return mark_damaged(line_number_);
        rest = trimmed(rest.substr(1));
        if (rest == "-") return;  // a value removal on import
        const std::size_t value_line = line_number_;
        if (current_ == None || !parse_data(rest, value, [this](std::string_view& next) { return next_line(next); }))
            return mark_damaged(value_line);
        // A later line for the same name wins, as on import.
        Value& stored = document_.keys[current_].set(value.name);
        stored.type = value.type;
        stored.data = std::move(value.data);
    }

    std::string_view text_;
    std::string_view root_name_;
    std::size_t position_ = 0;
    std::size_t line_number_ = 0;
    std::size_t current_ = None;
    Document document_;
};

}  // namespace

Document parse(std::string_view text, std::string_view root_name) { return Reader(text, root_name).read(); }

std::string write(const Document& document, std::string_view root_name) {
    std::string out = "REGEDIT4\n";
    for (const Key& key : document.keys) {
        out += "\n[";
        out += root_name;
        if (!key.path.empty()) out += '\\' + key.path;
        out += "]\n";
        for (const Value& value : key.values) {
            out += value.name.empty() ? std::string("@") : quoted(value.name);
            out += '=';
            if (value.type == Type_Sz && fits_quoted_form(value.data)) {
                out += quoted(std::string_view(value.data.data(), value.data.size() - 1));
            } else if (value.type == Type_Dword && value.data.size() == 4) {
                std::uint32_t number = 0;
                for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value.data[i]);
                char dword[24];
                std::snprintf(dword, sizeof dword, "dword:%08x", static_cast<unsigned>(number));
                out += dword;
            } else {
                out += hex_form(value);
            }
            out += '\n';
        }
    }
    return out;
}

}  // namespace zentrel::platform::reg_file

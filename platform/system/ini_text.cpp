#include "platform/system/ini_text.h"

#include <cstdint>
#include <initializer_list>

namespace tovrel::platform {
namespace {

constexpr size_t npos = std::string::npos;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

// "[name]" with optional blanks around; returns the name or nullopt.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    size_t close = line.find(']');
    if (close == npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

bool isComment(std::string_view line) {
    line = trim(line);
    return !line.empty() && line.front() == ';';
}

// Texts are built by appending to one string: GCC 12 at -O3 reports false -Wrestrict overlaps in
// the inlined `const char* + std::string&&` operators.
std::string joined(std::initializer_list<std::string_view> parts) {
    size_t size = 0;
    for (std::string_view part : parts) size += part.size();
    std::string out;
    out.reserve(size);
    for (std::string_view part : parts) out.append(part);
    return out;
}

}  // namespace

IniText::IniText(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        // Each line is built whole from its two views: GCC 12 at -O3 takes the ending's assignment
        // to a default-constructed member for a read of uninitialised bytes.
        const size_t nl = text.find('\n', pos);
        size_t end = nl == npos ? text.size() : nl;
        std::string_view ending;
        if (nl != npos) {
            const bool crlf = end > pos && text[end - 1] == '\r';
            if (crlf) --end;
            ending = text.substr(end, nl + 1 - end);
        }
        lines_.push_back(Line{std::string(text.substr(pos, end - pos)), std::string(ending)});
        pos = nl == npos ? text.size() : nl + 1;
    }
}

size_t IniText::findSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        auto name = sectionName(lines_[i].content);
        if (name && equalsNoCase(*name, trim(section))) return i;
    }
    return npos;
}

size_t IniText::findKey(size_t header, std::string_view key, size_t* lastEntry) const {
    size_t last = header;
    for (size_t i = header + 1; i < lines_.size(); ++i) {
        const std::string& content = lines_[i].content;
        if (sectionName(content)) break;
        if (trim(content).empty()) continue;
        last = i;
        if (isComment(content)) continue;
        size_t eq = content.find('=');
        std::string_view name = trim(std::string_view(content).substr(0, eq));
        if (equalsNoCase(name, trim(key))) {
            if (lastEntry) *lastEntry = last;
            return i;
        }
    }
    if (lastEntry) *lastEntry = last;
    return npos;
}

std::optional<std::string> IniText::value(std::string_view section, std::string_view key) const {
    size_t header = findSection(section);
    if (header == npos) return std::nullopt;
    size_t at = findKey(header, key, nullptr);
    if (at == npos) return std::nullopt;
    const std::string& content = lines_[at].content;
    size_t eq = content.find('=');
    if (eq == npos) return std::string();
    std::string_view v = trim(std::string_view(content).substr(eq + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

int IniText::intValue(std::string_view section, std::string_view key, int defaultValue) const {
    auto text = value(section, key);
    if (!text || text->empty()) return defaultValue;
    return profileTextToInt(*text);
}

std::string IniText::newLineEnding() const {
    for (const Line& line : lines_) {
        if (!line.ending.empty()) return line.ending;
    }
    return "\n";
}

void IniText::setValue(std::string_view section, std::string_view key, std::string_view value) {
    std::string entry = joined({trim(key), "=", value});
    const std::string ending = newLineEnding();
    // A last line without an ending gets one before anything is appended after it.
    auto terminateLast = [&] {
        if (!lines_.empty() && lines_.back().ending.empty()) lines_.back().ending = ending;
    };
    size_t header = findSection(section);
    if (header == npos) {
        terminateLast();
        lines_.push_back({joined({"[", trim(section), "]"}), ending});
        lines_.push_back({entry, ending});
        return;
    }
    size_t lastEntry = header;
    size_t at = findKey(header, key, &lastEntry);
    if (at != npos) {
        lines_[at].content = entry;
        return;
    }
    if (lastEntry + 1 == lines_.size()) terminateLast();
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1), Line{entry, ending});
}

std::string IniText::text() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.content;
        out += line.ending;
    }
    return out;
}

int profileTextToInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    if (negative) value = 0u - value;
    return static_cast<int>(value);
}

}  // namespace tovrel::platform

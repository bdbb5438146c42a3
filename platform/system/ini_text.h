#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovrel::platform {

// The text of one private-profile (INI) file, kept line by line so that rewriting one key leaves
// every other section, key, comment, blank line and line ending exactly as it was.
// Section and key names compare without regard to ASCII case, as the platform's profile calls do.
// Not thread-safe; owned by one caller at a time.
class IniText {
  public:
    IniText() = default;
    explicit IniText(std::string_view text);

    // The value of `key` in `section`, trimmed of surrounding blanks and one pair of matching
    // quotes; nullopt when the section or key is missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // GetPrivateProfileInt over this text: a missing or empty value gives the default.
    int intValue(std::string_view section, std::string_view key, int defaultValue) const;

    // Rewrites the key's line in place, or appends the key at the end of its section, or appends
    // the section at the end of the text.
    void setValue(std::string_view section, std::string_view key, std::string_view value);

    std::string text() const;

  private:
    struct Line {
        std::string content;  // without the line ending
        std::string ending;   // "\n", "\r\n" or "" for a last line without one
    };
    // Index of the section header line, or npos.
    size_t findSection(std::string_view section) const;
    // Index of the key line inside the section starting after `header`, or npos; `lastEntry`
    // receives the last non-blank line of the section.
    size_t findKey(size_t header, std::string_view key, size_t* lastEntry) const;
    std::string newLineEnding() const;

    std::vector<Line> lines_;
};

// The conversion of the platform's GetPrivateProfileInt: leading blanks, an optional sign, then the
// decimal digits up to the first other character; no digits gives 0. The result wraps to 32 bits
// like the platform's accumulation does.
int profileTextToInt(std::string_view text);

}  // namespace tovrel::platform

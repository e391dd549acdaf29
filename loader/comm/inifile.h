#pragma once
// A small INI file that keeps every line it does not change: comments, other sections and
// other keys survive a write. Section and key names compare without regard to case.

#include <optional>
#include <string>
#include <vector>

namespace vok {

class IniFile {
public:
    // Reads the file; a missing file is an empty profile. False when it exists but cannot be
    // read.
    bool load(const std::string& path);
    // Writes the file through a temporary file and a rename; on failure `error` says why and
    // the old file is untouched.
    bool save(const std::string& path, std::string* error = nullptr) const;

    std::optional<std::string> value(const std::string& section, const std::string& key) const;
    // The integer of a key: leading blanks, an optional sign and digits; the default when the
    // key is absent or holds no number.
    int intValue(const std::string& section, const std::string& key, int defaultValue) const;
    void setValue(const std::string& section, const std::string& key, const std::string& value);
    void setInt(const std::string& section, const std::string& key, int value)
    {
        setValue(section, key, std::to_string(value));
    }
    std::vector<std::string> keys(const std::string& section) const;

    std::string text() const;
    void setText(const std::string& text);

private:
    struct Line {
        std::string raw;
        std::string section; // the section this line belongs to
        std::string key;     // set for "key=value" lines
        std::string value;
    };
    std::vector<Line> m_lines;
};

} // namespace vok

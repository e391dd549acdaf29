#include "inifile.h"

#include "fileutil.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

namespace vok {

namespace {

std::string trim(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return std::string(s.substr(b, e - b));
}

bool sameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

void IniFile::setText(const std::string& text)
{
    m_lines.clear();
    std::string section;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string raw = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        Line line{raw, section, {}, {}};
        std::string t = trim(raw);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            section = trim(std::string_view(t).substr(1, t.size() - 2));
            line.section = section;
        } else if (!t.empty() && t[0] != ';' && t[0] != '#') {
            if (std::size_t eq = t.find('='); eq != std::string::npos) {
                line.key = trim(std::string_view(t).substr(0, eq));
                line.value = trim(std::string_view(t).substr(eq + 1));
            }
        }
        m_lines.push_back(std::move(line));
    }
}

std::string IniFile::text() const
{
    std::string out;
    for (const Line& line : m_lines) {
        out += line.raw;
        out += '\n';
    }
    return out;
}

bool IniFile::load(const std::string& path)
{
    m_lines.clear();
    if (!fileExists(path))
        return true;
    auto bytes = readWholeFile(path);
    if (!bytes)
        return false;
    setText(std::string(bytes->view()));
    return true;
}

bool IniFile::save(const std::string& path, std::string* error) const
{
    return replaceFile(path, text(), error) == WriteResult::Ok;
}

std::optional<std::string> IniFile::value(const std::string& section, const std::string& key) const
{
    for (const Line& line : m_lines) {
        if (!line.key.empty() && sameName(line.section, section) && sameName(line.key, key))
            return line.value;
    }
    return std::nullopt;
}

int IniFile::intValue(const std::string& section, const std::string& key, int defaultValue) const
{
    auto v = value(section, key);
    if (!v || v->empty())
        return defaultValue;
    const char* begin = v->c_str();
    char* end = nullptr;
    long n = std::strtol(begin, &end, 10);
    if (end == begin)
        return defaultValue;
    return static_cast<int>(std::clamp<long>(n, INT_MIN, INT_MAX));
}

void IniFile::setValue(const std::string& section, const std::string& key, const std::string& value)
{
    std::size_t lastOfSection = m_lines.size();
    bool sectionFound = false;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        Line& line = m_lines[i];
        if (!sameName(line.section, section))
            continue;
        if (!sectionFound || !trim(line.raw).empty())
            lastOfSection = i;
        sectionFound = true;
        if (!line.key.empty() && sameName(line.key, key)) {
            line.value = value;
            line.raw = line.key + "=" + value;
            return;
        }
    }
    if (!sectionFound) {
        if (!m_lines.empty() && !trim(m_lines.back().raw).empty())
            m_lines.push_back({"", m_lines.back().section, {}, {}});
        m_lines.push_back({"[" + section + "]", section, {}, {}});
        lastOfSection = m_lines.size() - 1;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(lastOfSection + 1),
                   Line{key + "=" + value, section, key, value});
}

std::vector<std::string> IniFile::keys(const std::string& section) const
{
    std::vector<std::string> out;
    for (const Line& line : m_lines) {
        if (!line.key.empty() && sameName(line.section, section))
            out.push_back(line.key);
    }
    return out;
}

} // namespace vok

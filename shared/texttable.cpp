#include "texttable.h"

#include "fileutil.h"

#include <cstring>

namespace vok {

const std::string TextTable::s_empty;
const std::string TrendTextTable::s_empty;

std::optional<std::string_view> TextTableReader::next(int id)
{
    const std::string key = std::to_string(id) + ",";
    std::size_t at = m_pos;
    // The key must open a line: a plain substring search would take "12," for id 2 when id 2
    // is missing and then skip every id up to 12.
    for (;;) {
        at = m_data.find(key, at);
        if (at == std::string_view::npos)
            return std::nullopt;
        if (at == 0 || m_data[at - 1] == '\n')
            break;
        ++at;
    }
    const std::size_t textStart = at + key.size();
    const std::size_t end = m_data.find("\r\n", textStart);
    if (end == std::string_view::npos || end == textStart)
        return std::nullopt;
    m_pos = end + 2;
    std::string_view text = m_data.substr(textStart, end - textStart);
    // A NUL byte ends a text, as a terminator would.
    if (std::size_t nul = text.find('\0'); nul != std::string_view::npos)
        text = text.substr(0, nul);
    return text;
}

namespace {

std::string cutToSlot(std::string_view text)
{
    return std::string(text.substr(0, kTextSlotLength));
}

// The field that follows ",name," in "AddContList.csv", up to the next comma or line end.
std::optional<std::string> translateTrendItem(std::string_view addContList, const std::string& name)
{
    if (name.empty())
        return std::nullopt;
    const std::string needle = "," + name + ",";
    std::size_t at = addContList.find(needle);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::size_t start = at + needle.size();
    std::size_t end = addContList.find_first_of(",\r\n", start);
    if (end == std::string_view::npos)
        end = addContList.size();
    return cutToSlot(addContList.substr(start, end - start));
}

} // namespace

void TextTable::loadFromBytes(std::string_view table, std::optional<std::string_view> addContList)
{
    *this = TextTable();
    m_loaded = true;
    TextTableReader reader(table);
    auto pass = [&reader](int first, int last, auto&& store) {
        for (int id = first; id <= last; ++id) {
            if (auto text = reader.next(id))
                store(id, *text);
        }
    };
    auto storeText = [this](int id, std::string_view text) { m_texts[id] = std::string(text); };
    auto storeSlot = [this](int id, std::string_view text) { m_slots[id - kFirstSlot] = cutToSlot(text); };

    pass(1, 99, storeText);
    pass(100, 175, storeText);
    pass(200, 234, storeSlot);
    if (addContList) {
        for (int id = 231; id <= 234; ++id) {
            if (auto field = translateTrendItem(*addContList, m_slots[id - kFirstSlot]))
                m_slots[id - kFirstSlot] = *field;
        }
    }
    pass(240, 242, storeSlot);
    for (int id = kFirstNamed; id <= kLastNamed; ++id) {
        if (id >= 271 && id <= 274)
            continue;
        if (auto text = reader.next(id)) {
            int place = (id >= 284 && id <= 286) ? id - 3 : id;
            m_named[place - kFirstNamed] = std::string(*text);
        }
    }
}

bool TextTable::load(const std::string& languageFolder, const std::string& trendCopyPath)
{
    const std::string path = joinPath(languageFolder, "NameStringTBL.csv");
    if (!trendCopyPath.empty())
        copyFile(path, trendCopyPath);
    auto table = readWholeFile(path);
    if (!table) {
        *this = TextTable();
        return false;
    }
    auto addCont = readWholeFile(joinPath(languageFolder, "AddContList.csv"));
    std::optional<std::string_view> addView;
    if (addCont)
        addView = addCont->view();
    loadFromBytes(table->view(), addView);
    return true;
}

const std::string& TextTable::text(int id) const
{
    return (id >= 1 && id <= 175) ? m_texts[id] : s_empty;
}

const std::string& TextTable::slot(int id) const
{
    if (id < kFirstSlot || id > kLastSlot || (id > 234 && id < 240))
        return s_empty;
    return m_slots[id - kFirstSlot];
}

const std::string& TextTable::named(int id) const
{
    if (id < kFirstNamed || id > kLastNamed || (id >= 271 && id <= 274))
        return s_empty;
    return m_named[(id >= 284 && id <= 286 ? id - 3 : id) - kFirstNamed];
}

void TrendTextTable::loadFromBytes(std::string_view table)
{
    m_texts = {};
    TextTableReader reader(table);
    for (int id = 1; id <= kLastId; ++id) {
        if (auto text = reader.next(id))
            m_texts[id] = std::string(*text);
    }
}

bool TrendTextTable::load(const std::string& path)
{
    auto table = readWholeFile(path);
    if (!table) {
        m_texts = {};
        return false;
    }
    loadFromBytes(table->view());
    return true;
}

const std::string& TrendTextTable::text(int id) const
{
    return (id >= 1 && id <= kLastId) ? m_texts[id] : s_empty;
}

} // namespace vok

#pragma once
// The UI text table "NameStringTBL.csv": lines "id,text" with CR LF, ids ascending. Entries
// are found by forward-only passes, so an id that stands before a smaller one is not found.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vok {

// One forward-only walk over a text table's bytes.
class TextTableReader {
public:
    explicit TextTableReader(std::string_view data) : m_data(data) {}

    // The text of `id`, searched from the current position; on success the position moves to
    // the line after it. Missing (nothing, position unchanged) when the key "id," does not
    // stand at the start of a line ahead, when no CR LF follows it, or when the text is empty.
    std::optional<std::string_view> next(int id);

    std::size_t position() const { return m_pos; }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
};

// The fixed slots hold at most this many characters.
inline constexpr std::size_t kTextSlotLength = 63;

// The loader's table: ids 1-175 (messages, captions), 200-242 (special-row keys and trend
// items, in fixed slots) and 250-292 (PILC texts).
class TextTable {
public:
    static constexpr int kFirstSlot = 200;
    static constexpr int kLastSlot = 242;
    static constexpr int kFirstNamed = 250;
    static constexpr int kLastNamed = 292;

    // Loads `table` (the bytes of the file); `addContList` is the bytes of "AddContList.csv"
    // for the translation of the trend item slots 231-234, or nothing when it is missing.
    void loadFromBytes(std::string_view table, std::optional<std::string_view> addContList);

    // Reads "NameStringTBL.csv" of a language folder and copies it to `trendCopyPath` for
    // Trend (a failed copy is silent; an empty path makes no copy). A missing file leaves every text empty; returns
    // whether the table could be read.
    bool load(const std::string& languageFolder, const std::string& trendCopyPath);

    // Texts 1-175; empty for a missing or out-of-range id.
    const std::string& text(int id) const;
    // Slots 200-234 and 240-242, at most 63 characters.
    const std::string& slot(int id) const;
    // Named texts 250-270 and 275-292; 284-286 share the places of 281-283 and replace them.
    const std::string& named(int id) const;

    bool loaded() const { return m_loaded; }

private:
    static const std::string s_empty;
    std::array<std::string, 176> m_texts;
    std::array<std::string, kLastSlot - kFirstSlot + 1> m_slots;
    std::array<std::string, kLastNamed - kFirstNamed + 1> m_named;
    bool m_loaded = false;
};

// Trend's table, read from the loader's copy: ids 1-99 and 100-149.
class TrendTextTable {
public:
    static constexpr int kLastId = 149;
    void loadFromBytes(std::string_view table);
    bool load(const std::string& path);
    const std::string& text(int id) const;

private:
    static const std::string s_empty;
    std::array<std::string, kLastId + 1> m_texts;
};

} // namespace vok

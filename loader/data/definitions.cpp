#include "definitions.h"

#include "store.h"
#include "texttable.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vok {

namespace {

const std::string kEmpty;

long toLong(const std::string& s, int base = 10)
{
    return std::strtol(s.c_str(), nullptr, base);
}

double toReal(const std::string& s)
{
    return std::strtod(s.c_str(), nullptr);
}

double toHex32(const std::string& s)
{
    return static_cast<double>(static_cast<std::uint32_t>(std::strtoul(s.c_str(), nullptr, 16)));
}

// A register field: empty or a number 0-65535; anything else makes the row unusable.
bool toRegister(const std::string& s, std::uint16_t& out)
{
    out = 0;
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return true;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(s.c_str() + b, &end, 10);
    while (end && *end == ' ')
        ++end;
    if (errno != 0 || !end || *end != '\0' || v < 0 || v > 65535)
        return false;
    out = static_cast<std::uint16_t>(v);
    return true;
}

// The first field of a line, without moving anything.
std::string_view firstField(std::string_view line)
{
    std::size_t end = line.find_first_of(",\r");
    return line.substr(0, end == std::string_view::npos ? line.size() : end);
}

} // namespace

std::int32_t saturateInt32(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<std::int32_t>(std::clamp(std::trunc(value), -2147483648.0, 2147483647.0));
}

long long saturateInt64(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<long long>(std::clamp(std::trunc(value), -9.2e18, 9.2e18));
}

const std::string& ParameterDefinition::choiceText(int i) const
{
    if (i == 0)
        return unitText;
    if (i < 0 || i > static_cast<int>(choices.size()))
        return kEmpty;
    return choices[static_cast<std::size_t>(i - 1)];
}

int readField(std::string_view text, std::size_t& cursor, std::size_t maxChars, std::string& out, bool& endOfRow)
{
    out.clear();
    if (cursor >= text.size()) {
        endOfRow = true;
        return 0;
    }
    std::size_t comma = text.find(',', cursor);
    std::size_t crlf = text.find("\r\n", cursor);
    std::size_t end;
    if (comma != std::string_view::npos && (crlf == std::string_view::npos || comma < crlf)) {
        end = comma;
        endOfRow = false;
        out.assign(text.substr(cursor, std::min(end - cursor, maxChars)));
        cursor = end + 1;
    } else {
        end = crlf == std::string_view::npos ? text.size() : crlf;
        endOfRow = true;
        out.assign(text.substr(cursor, std::min(end - cursor, maxChars)));
        cursor = crlf == std::string_view::npos ? text.size() : crlf + 2;
    }
    return out.empty() ? 0 : 1;
}

long long readLine(std::string_view text, std::string& out, std::size_t from)
{
    out.clear();
    if (from > text.size())
        return -99;
    std::size_t crlf = text.find("\r\n", from);
    if (crlf == std::string_view::npos)
        return -99;
    out.assign(text.substr(from, crlf + 2 - from));
    return static_cast<long long>(crlf + 2);
}

int parseDefinition(std::string_view text, ParameterDefinition& d)
{
    d = ParameterDefinition();
    std::size_t cur = 0;
    bool end = false;
    std::string f;
    // Each step reads one field unless the row has ended; the rest keep their zero values.
    auto next = [&](std::size_t maxChars) -> bool {
        if (end)
            return false;
        readField(text, cur, maxChars, f, end);
        return true;
    };

    if (next(kNumberLength))
        d.group = static_cast<int>(toLong(f));
    if (next(kKeyLength))
        d.key = f;
    if (next(kNameLength))
        d.name = f;
    bool registersOk = true;
    for (auto& r : d.registers) {
        if (next(kNumberLength))
            registersOk = toRegister(f, r) && registersOk;
    }
    if (next(kNumberLength))
        d.dataType = static_cast<int>(toLong(f));
    const bool hex = d.dataType == 4;
    if (next(kNumberLength))
        d.minimum = hex ? toHex32(f) : toReal(f);
    if (next(kNumberLength))
        d.maximum = hex ? toHex32(f) : toReal(f);
    if (next(kNumberLength))
        d.decimals = static_cast<int>(toLong(f));
    if (next(kNameLength))
        d.unitText = f;
    for (auto& def : d.defaults) {
        if (!next(kNumberLength + kLabelLength + 1))
            break;
        ++d.defaultCount;
        std::size_t colon = f.find(':');
        std::string value = f;
        if (colon != std::string::npos) {
            // One character past the limit is kept, so that an over-long label never matches.
            def.label = f.substr(0, std::min(colon, kLabelLength + 1));
            value = f.substr(colon + 1);
        }
        def.value = hex ? toHex32(value) : toReal(value);
    }
    if (next(kCommentLength))
        d.comment = f;
    if (next(kExtraTextLength))
        d.extraText = f;
    for (auto& name : d.valueListFiles) {
        if (next(kFileNameLength))
            name = f;
    }
    for (auto& range : d.ranges) {
        if (next(kNumberLength))
            range.first = hex ? static_cast<std::int32_t>(static_cast<std::uint32_t>(toHex32(f)))
                              : static_cast<std::int32_t>(toLong(f));
        if (next(kNumberLength))
            range.second = hex ? static_cast<std::int32_t>(static_cast<std::uint32_t>(toHex32(f)))
                               : static_cast<std::int32_t>(toLong(f));
    }
    if (next(kNumberLength))
        d.channelLimit = static_cast<int>(toLong(f));
    // Skip what is left of the row.
    while (!end)
        readField(text, cur, 0, f, end);

    d.moduleWide = d.registers[0] != 0 && d.registers[1] == 0 && d.registers[2] == 0 && d.registers[3] == 0;

    if (d.dataType == 2 && d.maximum > d.minimum) {
        const double wanted = std::min(d.maximum - d.minimum, static_cast<double>(kMaxChoices - 1));
        std::string line;
        for (int i = 0; i < static_cast<int>(wanted); ++i) {
            long long after = readLine(text, line, cur);
            if (after < 0)
                break;
            cur = static_cast<std::size_t>(after);
            // The choice is the line's last non-empty field.
            std::string last;
            std::size_t lc = 0;
            bool lineEnd = false;
            while (!lineEnd) {
                if (readField(line, lc, kNameLength, f, lineEnd))
                    last = f;
            }
            d.choices.push_back(last);
        }
    }

    if (d.key.empty() || !registersOk) {
        d = ParameterDefinition();
        return kTableBadRow;
    }
    return kTableOk;
}

std::vector<ParameterDefinition> allDefinitions(std::string_view text)
{
    std::vector<ParameterDefinition> rows;
    std::size_t pos = 0;
    std::string line;
    for (long long after; (after = readLine(text, line, pos)) >= 0; pos = static_cast<std::size_t>(after)) {
        // A row starts with its group number; choice lines start with a comma.
        if (line.empty() || line[0] < '0' || line[0] > '9')
            continue;
        ParameterDefinition d;
        if (parseDefinition(text.substr(pos), d) == kTableOk)
            rows.push_back(std::move(d));
    }
    return rows;
}

std::vector<std::int32_t> parseValueList(std::string_view text, bool hexadecimal)
{
    std::vector<std::int32_t> values;
    std::size_t pos = 0;
    while (pos < text.size() && values.size() < kValueListLimit) {
        std::size_t end = text.find_first_of(",\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string field(text.substr(pos, std::min<std::size_t>(end - pos, 20)));
        if (field.find_first_not_of(" \t") != std::string::npos)
            values.push_back(hexadecimal ? static_cast<std::int32_t>(std::strtoul(field.c_str(), nullptr, 16))
                                         : static_cast<std::int32_t>(std::strtol(field.c_str(), nullptr, 10)));
        pos = end + 1;
    }
    return values;
}

bool defaultLabelMatches(const std::string& label, const std::uint16_t (&identification)[13])
{
    if (label.empty() || label.size() >= 8)
        return false;
    std::size_t i = 0;
    int n = 0;
    while (i < label.size() && label[i] >= '0' && label[i] <= '9')
        n = n * 10 + (label[i++] - '0');
    if (i == label.size() || n < 1 || n > 13)
        return false;
    return identification[n - 1] == static_cast<unsigned char>(label[i]);
}

int specialRoleTextId(SpecialRole role)
{
    int r = static_cast<int>(role);
    return r < static_cast<int>(SpecialRole::Presence) ? 200 + r : 240 + (r - static_cast<int>(SpecialRole::Presence));
}

const char* specialRoleName(SpecialRole role)
{
    static const char* const names[kSpecialRoles] = {
        "range upper", "range lower", "decimal point", "unit", "identification block", "status block",
        "connection-check register", "input type", "alarm 1 type", "alarm 2 type", "alarm 3 type",
        "alarm 4 type", "alarm 5 type", "limit lower", "limit upper", "limited value", "alarm 1 value",
        "alarm 2 value", "alarm 3 value", "alarm 4 value", "alarm 5 value", "alarm 1 second parameter",
        "alarm 2 second parameter", "alarm 3 second parameter", "alarm 4 second parameter",
        "alarm 5 second parameter", "command row 1", "command row 2", "command row 3", "command row 4",
        "presence bit map", "extra register", "fourth setting"};
    int r = static_cast<int>(role);
    return (r >= 0 && r < kSpecialRoles) ? names[r] : "";
}

bool specialRoleForCommFamilies(SpecialRole role)
{
    switch (role) {
    case SpecialRole::Identification:
    case SpecialRole::Status:
    case SpecialRole::ConnectionCheck:
    case SpecialRole::Presence:
    case SpecialRole::Extra:
    case SpecialRole::FourthSetting:
        return true;
    default:
        return false;
    }
}

DefinitionTables::DefinitionTables(std::string languageFolder, int family)
    : m_folder(std::move(languageFolder)), m_family(family), m_maps(std::make_unique<RegisterMaps>())
{
}

void DefinitionTables::reset(std::string languageFolder, int family)
{
    m_folder = std::move(languageFolder);
    m_family = family;
    m_stop = false;
    m_tables.clear();
    m_valueLists.clear();
    m_maps->clear();
    m_specials = SpecialRegisters();
    m_exclusions = {};
    m_preDownload = {};
}

const char* DefinitionTables::mainListName(ListType type)
{
    switch (type) {
    case ListType::Favorite: return "Favorite.csv";
    case ListType::Function: return "FunctionList.csv";
    case ListType::Event: return "EventList.csv";
    case ListType::Analog: return "AnalogList.csv";
    case ListType::AnalogAi: return "Analog_AiList.csv";
    case ListType::AnalogAo: return "Analog_AoList.csv";
    case ListType::Com: return "ComList.csv";
    case ListType::ProfCom: return "ProfComList.csv";
    case ListType::FavoriteCom: return "Favorite_Com.csv";
    case ListType::FavoriteProfCom: return "Favorite_ProfCom.csv";
    }
    return nullptr;
}

const char* DefinitionTables::addListName(ListType type, int favoriteGroup) const
{
    switch (type) {
    case ListType::Favorite:
        if (m_family == 1)
            return "AddComList.csv";
        if (m_family == 2)
            return "AddProfComList.csv";
        return favoriteGroup == 0 ? "AddContList.csv" : favoriteGroup == 1 ? "AddEventList.csv" : "AddAnalogList.csv";
    case ListType::Function: return "AddContList.csv";
    case ListType::Event: return "AddEventList.csv";
    case ListType::Analog:
    case ListType::AnalogAi:
    case ListType::AnalogAo: return "AddAnalogList.csv";
    case ListType::Com:
    case ListType::FavoriteCom: return "AddComList.csv";
    case ListType::ProfCom:
    case ListType::FavoriteProfCom: return "AddProfComList.csv";
    }
    return nullptr;
}

int DefinitionTables::listFilePath(ListType type, std::string& out) const
{
    const char* name = mainListName(type);
    if (!name)
        return -2;
    out = joinPath(m_folder, name);
    return 0;
}

int DefinitionTables::addListFilePath(ListType type, std::string& out, int favoriteGroup) const
{
    const char* name = addListName(type, favoriteGroup);
    if (!name)
        return -2;
    out = joinPath(m_folder, name);
    return 0;
}

const DefinitionTables::Table* DefinitionTables::table(const std::string& fileName)
{
    auto it = m_tables.find(fileName);
    if (it != m_tables.end())
        return it->second.bytes ? &it->second : nullptr;
    Table& t = m_tables[fileName];
    t.bytes = readWholeFile(joinPath(m_folder, fileName));
    if (!t.bytes)
        return nullptr;
    // One pass builds the index that the key searches use. A key counts where ",key," stands
    // right after a row's first field (at most 15 characters, so that the line start lies
    // within the 16 characters before the match) - the row the search would parse.
    std::string_view text = t.bytes->view();
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find("\r\n", pos);
        std::string_view line = text.substr(pos, (eol == std::string_view::npos ? text.size() : eol) - pos);
        std::size_t c1 = line.find(',');
        if (c1 != std::string_view::npos && c1 <= 15) {
            std::size_t c2 = line.find(',', c1 + 1);
            if (c2 != std::string_view::npos && c2 > c1 + 1)
                t.keyRows.emplace(std::string(line.substr(c1 + 1, c2 - c1 - 1)), pos);
            if (c2 != std::string_view::npos && c2 <= 14) {
                std::size_t c3 = line.find(',', c2 + 1);
                if (c3 != std::string_view::npos && c3 > c2 + 1)
                    t.nameRows.emplace(std::string(line.substr(c2 + 1, c3 - c2 - 1)), pos);
            }
        }
        if (eol != std::string_view::npos) {
            if (std::size_t last = line.rfind(','); last != std::string_view::npos && last + 1 < line.size())
                t.lastFields.emplace(line.substr(last + 1));
            pos = eol + 2;
        } else {
            break;
        }
    }
    return &t;
}

void DefinitionTables::loadValueLists(ParameterDefinition& d)
{
    for (int c = 0; c < 4; ++c) {
        const std::string& name = d.valueListFiles[c];
        if (name.empty())
            continue;
        const std::string cacheKey = name + (d.dataType == 4 ? "#hex" : "");
        auto it = m_valueLists.find(cacheKey);
        if (it == m_valueLists.end()) {
            auto bytes = readWholeFile(joinPath(m_folder, name));
            auto list = std::make_shared<const std::vector<std::int32_t>>(
                bytes ? parseValueList(bytes->view(), d.dataType == 4) : std::vector<std::int32_t>{});
            it = m_valueLists.emplace(cacheKey, std::move(list)).first;
        }
        d.valueLists[c] = it->second;
    }
}

int DefinitionTables::findRow(const std::string& addList, bool byName, std::string_view text,
                               ParameterDefinition& definition)
{
    definition = ParameterDefinition();
    const Table* t = table(addList);
    if (!t)
        return kTableCannotOpen;
    const auto& index = byName ? t->nameRows : t->keyRows;
    auto it = index.find(std::string(text));
    if (it == index.end())
        return kTableKeyAbsent;
    int rc = parseDefinition(t->bytes->view().substr(it->second), definition);
    if (rc == kTableOk)
        loadValueLists(definition);
    return rc;
}

int DefinitionTables::findIn(const std::string& addList, std::string_view key, ParameterDefinition& definition)
{
    return findRow(addList, false, key, definition);
}

int DefinitionTables::findByName(const std::string& addList, std::string_view name, ParameterDefinition& definition)
{
    return findRow(addList, true, name, definition);
}

int DefinitionTables::findDefinition(ListType type, std::string_view key, ParameterDefinition& definition,
                                     int favoriteGroup)
{
    const char* name = addListName(type, favoriteGroup);
    if (!name) {
        definition = ParameterDefinition();
        return kTableCannotOpen;
    }
    return findIn(name, key, definition);
}

std::vector<std::string> DefinitionTables::mainListKeys(ListType type)
{
    std::vector<std::string> keys;
    const char* name = mainListName(type);
    const Table* t = name ? table(name) : nullptr;
    if (!t)
        return keys;
    std::string_view text = t->bytes->view();
    std::size_t pos = 0;
    std::string line, f;
    bool first = true;
    for (long long after; !m_stop && (after = readLine(text, line, pos)) >= 0; pos = static_cast<std::size_t>(after)) {
        if (first) {
            first = false;
            continue;
        }
        std::size_t cur = 0;
        bool end = false;
        int fields = 0;
        std::string key;
        while (!end && fields < 3) {
            readField(line, cur, kNameLength, f, end);
            if (++fields == 3)
                key = f.substr(0, kKeyLength);
        }
        if (fields == 3 && !key.empty())
            keys.push_back(key);
    }
    return keys;
}

std::map<int, DefinitionTables::RegisterOwner> DefinitionTables::registerOwners(bool control)
{
    std::vector<const char*> files;
    if (m_family == 1)
        files = {"AddComList.csv"};
    else if (m_family == 2)
        files = {"AddProfComList.csv"};
    else if (control)
        files = {"AddContList.csv", "AddAnalogList.csv"};
    else
        files = {"AddEventList.csv"};
    std::map<int, RegisterOwner> owners;
    for (const char* f : files) {
        const Table* t = table(f);
        if (!t)
            continue;
        for (ParameterDefinition& d : allDefinitions(t->bytes->view())) {
            for (int c = 0; c < (control ? 4 : 1); ++c) {
                if (d.registers[c] && !owners.count(d.registers[c]))
                    owners[d.registers[c]] = {d, c};
            }
        }
    }
    return owners;
}

DefinitionTables::Group DefinitionTables::loadGroup(ListType type, int group, int favoriteGroup)
{
    Group out;
    const char* addName = addListName(type, favoriteGroup);
    // The main list that decides which parameters exist.
    ListType mainType = type;
    if (type == ListType::Favorite)
        mainType = m_family == 1   ? ListType::Com
                   : m_family == 2 ? ListType::ProfCom
                                   : static_cast<ListType>(std::min(favoriteGroup, 2) + 1);
    const Table* add = addName ? table(addName) : nullptr;
    const char* mainName = mainListName(mainType);
    const Table* main = mainName ? table(mainName) : nullptr;
    if (!add || !main) {
        out.result = kTableCannotOpen;
        return out;
    }
    std::string_view text = add->bytes->view();
    bool dropped = false;
    std::size_t pos = 0;
    std::string line;
    for (long long after; (after = readLine(text, line, pos)) >= 0; pos = static_cast<std::size_t>(after)) {
        std::string_view first = firstField(line).substr(0, kKeyLength);
        // A number equal to the group; choice lines have an empty first field.
        if (first.empty() || std::strtol(std::string(first).c_str(), nullptr, 10) != group
            || first.find_first_not_of("0123456789 -+") != std::string_view::npos)
            continue;
        ParameterDefinition d;
        if (parseDefinition(text.substr(pos), d) != kTableOk)
            continue;
        if (!main->lastFields.count(d.key)) {
            dropped = true;
            continue;
        }
        loadValueLists(d);
        out.definitions.push_back(std::move(d));
    }
    out.result = dropped ? kTableBadRow : static_cast<int>(out.definitions.size());
    return out;
}

ListType DefinitionTables::mapListType(int kind) const
{
    switch (kind) {
    case 0: return m_family == 1 ? ListType::Com : m_family == 2 ? ListType::ProfCom : ListType::Function;
    case 1: return ListType::Event;
    case 2:
    case 3: return ListType::Analog;
    default: return ListType::AnalogAi;
    }
}

std::string DefinitionTables::mapProblem(int kind)
{
    const ListType type = mapListType(kind);
    const char* mainName = mainListName(type);
    const char* addName = addListName(type);
    if (!table(mainName))
        return joinPath(m_folder, mainName) + " is missing or cannot be read";
    if (!table(addName))
        return joinPath(m_folder, addName) + " is missing or cannot be read";
    const std::vector<std::string> keys = mainListKeys(type);
    if (keys.empty())
        return joinPath(m_folder, mainName) + " lists no parameter";
    std::vector<std::string> missing;
    for (const std::string& key : keys) {
        ParameterDefinition d;
        if (findDefinition(type, key, d) != kTableOk)
            missing.push_back(key);
    }
    if (!missing.empty()) {
        std::string some;
        for (std::size_t i = 0; i < missing.size() && i < 5; ++i)
            some += (i ? ", " : "") + missing[i];
        return joinPath(m_folder, mainName) + ": " + std::to_string(missing.size()) + " of its " + std::to_string(keys.size())
            + " keys are not in " + addName + " (" + some + (missing.size() > 5 ? ", ..." : "") + ")";
    }
    const auto& map = m_maps->holdingKind[static_cast<std::size_t>(kind)];
    if (std::none_of(map.begin(), map.end(), [](std::uint8_t k) { return k != 0; }))
        return joinPath(m_folder, mainName) + " lists no holding register";
    return {};
}

void DefinitionTables::buildRegisterMaps()
{
    m_maps->clear();
    const int kinds = m_family == 0 ? kMapKinds : 1;
    for (int kind = 0; kind < kinds && !m_stop; ++kind) {
        const ListType type = mapListType(kind);
        for (const std::string& key : mainListKeys(type)) {
            ParameterDefinition d;
            if (findDefinition(type, key, d) != kTableOk)
                continue;
            const int channels = kind == 1 ? 1 : 4;
            for (int c = 0; c < channels; ++c) {
                const int reg = d.registers[c];
                if (reg >= 30000 && reg <= 39999) {
                    m_maps->inputMap[kind][reg - 30000] = 1;
                } else if (reg >= 40000 && reg <= 49999) {
                    const bool scaled = d.dataType == 1 || d.dataType == 7 || d.dataType == 8;
                    m_maps->holdingKind[kind][reg - 40000] = static_cast<std::uint8_t>(scaled ? d.dataType : 55);
                    if (kind != 1)
                        m_maps->holdingChannel[kind][reg - 40000] = static_cast<std::uint8_t>(c + 1);
                }
            }
        }
    }
}

int DefinitionTables::applyDefaults(ListType type, DataStore& store)
{
    const bool control = type == ListType::Function || type == ListType::Com || type == ListType::ProfCom;
    const int firstStation = control ? 1 : 17;
    const int lastStation = control ? 16 : 32;
    const int channels = control ? 4 : 1;
    int applied = 0;
    for (const std::string& key : mainListKeys(type)) {
        ParameterDefinition d;
        if (findDefinition(type, key, d) != kTableOk)
            continue;
        for (int station = firstStation; station <= lastStation; ++station) {
            if (!store.stationPresent[station - 1])
                continue;
            const auto& id = store.record(station - 1).identification;
            const DefaultValue* chosen = nullptr;
            for (int i = 0; i < d.defaultCount && !chosen; ++i) {
                const DefaultValue& def = d.defaults[i];
                if ((def.label.empty() && i == 0) || defaultLabelMatches(def.label, id))
                    chosen = &def;
            }
            if (!chosen)
                continue;
            // Truncated toward zero, then kept as its 16-bit pattern.
            const auto raw = static_cast<std::uint16_t>(saturateInt64(chosen->value));
            for (int c = 0; c < channels; ++c) {
                const int reg = d.registers[c];
                if (reg >= 30000 && reg <= 49999) {
                    store.setStoredValue(station, reg, raw);
                    ++applied;
                }
            }
        }
    }
    return applied;
}

void DefinitionTables::loadSpecialRegisters(const TextTable& texts)
{
    m_specials = SpecialRegisters();
    m_exclusions = {};
    m_preDownload = {};
    const ListType type = m_family == 1 ? ListType::Com : m_family == 2 ? ListType::ProfCom : ListType::Function;
    for (int r = 0; r < kSpecialRoles; ++r) {
        const auto role = static_cast<SpecialRole>(r);
        if (m_family != 0 && !specialRoleForCommFamilies(role))
            continue;
        SpecialRegisters::Row& row = m_specials.rows[r];
        row.key = texts.slot(specialRoleTextId(role));
        ParameterDefinition d;
        if (row.key.empty() || findDefinition(type, row.key, d) != kTableOk)
            continue;
        row.found = true;
        row.registers = d.registers;
        if (role == SpecialRole::Unit) {
            for (int i = 0; i < 4; ++i)
                m_specials.unitNames[i] = d.choiceText(i).substr(0, 8);
        }
    }
    for (int row = 0; row < 4; ++row) {
        const auto& cmd = m_specials.row(static_cast<SpecialRole>(static_cast<int>(SpecialRole::Command1) + row));
        for (int c = 0; c < 4; ++c)
            m_specials.commandMonitor[c][row] = cmd.registers[c];
    }

    // "DownloadExclusion.csv": rows of condition register, first and second register; every
    // family's download honours it.
    if (auto bytes = readWholeFile(joinPath(m_folder, "DownloadExclusion.csv"))) {
        std::string_view text = bytes->view();
        std::size_t pos = 0;
        std::string line;
        int n = 0;
        for (long long after; n < kExclusionEntries && (after = readLine(text, line, pos)) >= 0;
             pos = static_cast<std::size_t>(after)) {
            auto v = parseValueList(line, false);
            if (v.size() >= 3 && line[0] >= '0' && line[0] <= '9')
                m_exclusions[n++] = {static_cast<std::uint16_t>(v[0]), static_cast<std::uint16_t>(v[1]),
                                     static_cast<std::uint16_t>(v[2])};
        }
    }
    // "PreDownload.csv": the registers written one by one before a download (family 0 only).
    if (m_family != 0)
        return;
    if (auto bytes = readWholeFile(joinPath(m_folder, "PreDownload.csv"))) {
        std::string_view text = bytes->view();
        std::size_t pos = 0, n = 0;
        std::string line;
        for (long long after; (after = readLine(text, line, pos)) >= 0; pos = static_cast<std::size_t>(after)) {
            if (line[0] < '0' || line[0] > '9')
                continue;
            for (std::int32_t reg : parseValueList(line, false)) {
                if (n < m_preDownload.size())
                    m_preDownload[n++] = static_cast<std::uint16_t>(reg);
            }
        }
    }
}

} // namespace vok

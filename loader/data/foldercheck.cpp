#include "foldercheck.h"

#include "definitions.h"
#include "fileutil.h"
#include "textcodec.h"
#include "texttable.h"

#include <filesystem>
#include <set>

namespace vok {

const std::vector<int>& usedTextIds()
{
    static const std::vector<int> ids = [] {
        std::vector<int> v;
        auto range = [&v](int a, int b) {
            for (int i = a; i <= b; ++i)
                v.push_back(i);
        };
        range(1, 5);
        range(8, 24);
        v.push_back(26);
        range(30, 38);
        range(40, 42);
        for (int i : {44, 45, 47, 48, 50, 55, 58, 60, 61})
            v.push_back(i);
        range(65, 78);
        range(80, 88);
        range(90, 94);
        range(96, 100);
        range(102, 104);
        range(107, 109);
        for (int i : {111, 112, 114, 115, 116})
            v.push_back(i);
        range(118, 128);
        range(130, 133);
        range(135, 140);
        range(145, 150);
        range(152, 154);
        range(156, 175);
        range(200, 234);
        range(240, 242);
        range(250, 270);
        range(275, 280);
        range(284, 292);
        return v;
    }();
    return ids;
}

namespace {

struct ListPair {
    ListType type;
    const char* main;
};

constexpr ListPair kLists[] = {
    {ListType::Function, "FunctionList.csv"}, {ListType::Event, "EventList.csv"},
    {ListType::Analog, "AnalogList.csv"},     {ListType::AnalogAi, "Analog_AiList.csv"},
    {ListType::AnalogAo, "Analog_AoList.csv"}, {ListType::Com, "ComList.csv"},
    {ListType::ProfCom, "ProfComList.csv"},
};

constexpr const char* kModulePictures[] = {
    "BMP-InfCONT4.bmp", "BMP-InfEVNT.bmp", "BMP-InfCONT2.bmp", "BMP-InfANALG.bmp", "BMP-InfCCLNK.bmp",
    "BMP-InfENZN.bmp",  "BMP-InfANA_N.bmp", "BMP-InfANA_T.bmp", "BMP-InfERRkk.bmp", "BMP-InfPROFI.bmp",
};

// No row of the tables comes near this: 35 fields of at most 128 characters.
constexpr std::size_t kMaxLineLength = 4096;

bool startsWithNumber(std::string_view line)
{
    return !line.empty() && line[0] >= '0' && line[0] <= '9';
}

// Every keyed row of an additional list, parsed. A choice list whose lines run into the
// next keyed row is reported: that row would be taken as a choice.
std::vector<ParameterDefinition> allRows(const std::string& file, std::string_view text,
                                         std::vector<std::string>& problems)
{
    std::vector<ParameterDefinition> rows;
    std::size_t pos = 0;
    std::string line;
    for (long long after; (after = readLine(text, line, pos)) >= 0; pos = static_cast<std::size_t>(after)) {
        if (!startsWithNumber(line))
            continue;
        ParameterDefinition d;
        if (parseDefinition(text.substr(pos), d) != kTableOk)
            continue;
        std::size_t next = static_cast<std::size_t>(after);
        std::string choiceLine;
        for (std::size_t i = 0; i < d.choices.size(); ++i) {
            long long end = readLine(text, choiceLine, next);
            if (end < 0)
                break;
            if (startsWithNumber(choiceLine)) {
                problems.push_back(file + " " + d.key + ": too few choice lines, the choice list runs into the next row");
                break;
            }
            next = static_cast<std::size_t>(end);
        }
        rows.push_back(std::move(d));
    }
    return rows;
}

// The rows whose registers are a block start or a line-wide register, not channel registers.
bool isLineRow(const TextTable& texts, const std::string& key)
{
    for (int r = 0; r < kSpecialRoles; ++r) {
        const auto role = static_cast<SpecialRole>(r);
        if (specialRoleForCommFamilies(role) && texts.slot(specialRoleTextId(role)) == key)
            return true;
    }
    return false;
}

void checkRegisters(const std::string& file, const ParameterDefinition& d, bool special,
                    std::vector<std::string>& problems)
{
    const bool event = file == "AddEventList.csv";
    for (int c = 0; c < 4; ++c) {
        const int reg = d.registers[c];
        if (reg == 0)
            continue;
        const std::string where = file + " " + d.key + " channel " + std::to_string(c + 1) + ": register "
            + std::to_string(reg);
        if (reg < 30000 || reg > 49999) {
            problems.push_back(where + " lies outside 30000-49999");
            continue;
        }
        if (special || event)
            continue;
        const int base = reg >= 40000 ? 41000 : 31000;
        if (d.moduleWide) {
            if (reg >= base)
                problems.push_back(where + " is module-wide but lies in a channel block");
        } else if (reg < base + 1000 * c || reg > base + 999 + 1000 * c) {
            problems.push_back(where + " lies outside the block of its channel");
        }
    }
}

} // namespace

std::vector<std::string> checkLanguageFolder(const std::string& folder)
{
    std::vector<std::string> problems;
    auto file = [&folder](std::string_view name) { return joinPath(folder, name); };

    if (!fileExists(file("language.csv")))
        problems.push_back("language.csv is missing");

    TextTable texts;
    if (!texts.load(folder, ""))
        problems.push_back("NameStringTBL.csv is missing");
    for (int id : usedTextIds()) {
        const bool missing = id < 200 ? texts.text(id).empty() : id < 250 ? texts.slot(id).empty() : texts.named(id).empty();
        if (missing)
            problems.push_back("NameStringTBL.csv has no text " + std::to_string(id));
    }
    for (int id = 250; id <= 292; ++id) {
        const std::string& t = texts.named(id);
        if (!t.empty() && (t.size() < 2 || t[1] != ':'))
            problems.push_back("PILC text " + std::to_string(id) + " does not start with its code character and \":\"");
    }

    // Every CSV must end with CR LF, or its last line is never read.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.path().extension() != ".csv")
            continue;
        const std::string name = entry.path().filename().string();
        auto bytes = readWholeFile(entry.path().string());
        if (!bytes) {
            problems.push_back(name + " cannot be read (or is no regular file)");
            continue;
        }
        const std::string_view text = bytes->view();
        if (text.size() > 0 && !text.ends_with("\r\n"))
            problems.push_back(name + " does not end with CR LF");
        // A text file has no NUL bytes, and no row of the tables is kilobytes long.
        if (text.find('\0') != std::string_view::npos)
            problems.push_back(name + " holds NUL bytes: it is no text file");
        std::size_t lineNo = 1, start = 0;
        for (std::size_t at = 0; at <= text.size(); ++at) {
            if (at < text.size() && text[at] != '\n')
                continue;
            if (at - start > kMaxLineLength) {
                problems.push_back(name + ": line " + std::to_string(lineNo) + " has " + std::to_string(at - start)
                                   + " characters, more than any row of a table");
                break;
            }
            ++lineNo;
            start = at + 1;
        }
    }

    DefinitionTables tables(folder);
    std::set<std::string> checkedAdd;
    for (const ListPair& l : kLists) {
        if (!fileExists(file(l.main))) {
            problems.push_back(std::string(l.main) + " is missing");
            continue;
        }
        const std::vector<std::string> keys = tables.mainListKeys(l.type);
        if (keys.empty())
            problems.push_back(std::string(l.main) + " lists no parameter");
        for (const std::string& key : keys) {
            ParameterDefinition d;
            if (int rc = tables.findDefinition(l.type, key, d); rc != kTableOk)
                problems.push_back(std::string(l.main) + ": key " + key + " is not resolved by "
                                   + tables.addListName(l.type) + " (" + std::to_string(rc) + ")");
        }
        const std::string addName = tables.addListName(l.type);
        if (!checkedAdd.insert(addName).second)
            continue;
        auto bytes = readWholeFile(file(addName));
        if (!bytes) {
            problems.push_back(addName + " is missing");
            continue;
        }
        for (const ParameterDefinition& d : allRows(addName, bytes->view(), problems)) {
            checkRegisters(addName, d, isLineRow(texts, d.key), problems);
            if (d.dataType == 2 && d.maximum > d.minimum && d.choices.size() < static_cast<std::size_t>(d.maximum - d.minimum))
                problems.push_back(addName + " " + d.key + ": " + std::to_string(d.choices.size())
                                   + " choice lines, needs " + std::to_string(static_cast<int>(d.maximum - d.minimum)));
            if (!d.extraText.empty() && !fileExists(joinPath(file("BMP"), d.extraText)))
                problems.push_back(addName + " " + d.key + ": BMP/" + d.extraText + " is missing");
            for (const std::string& vl : d.valueListFiles) {
                if (!vl.empty() && !fileExists(file(vl)))
                    problems.push_back(addName + " " + d.key + ": value list " + vl + " is missing");
            }
        }
    }

    // Special rows: all roles for the standard line, six for each communication family.
    for (int family = 0; family <= 2; ++family) {
        DefinitionTables t(folder, family);
        t.loadSpecialRegisters(texts);
        for (int r = 0; r < kSpecialRoles; ++r) {
            const auto role = static_cast<SpecialRole>(r);
            if (family != 0 && !specialRoleForCommFamilies(role))
                continue;
            if (!t.specials().row(role).found)
                problems.push_back(std::string(t.addListName(family == 0 ? ListType::Function : family == 1 ? ListType::Com : ListType::ProfCom))
                                   + " has no row for the " + specialRoleName(role) + " (text "
                                   + std::to_string(specialRoleTextId(role)) + " \"" + texts.slot(specialRoleTextId(role)) + "\")");
        }
        if (family == 0) {
            if (t.exclusions()[0].condition == 0)
                problems.push_back("DownloadExclusion.csv is missing or empty");
            if (t.preDownload()[0] == 0)
                problems.push_back("PreDownload.csv is missing or empty");
        }
    }

    for (const char* name : kModulePictures) {
        if (!fileExists(joinPath(file("BMP"), name)))
            problems.push_back(std::string("module picture BMP/") + name + " is missing");
    }

    // Favourites: every item must be a name of its group's additional list.
    struct Fav {
        const char* file;
        int family;
    };
    for (Fav f : {Fav{"Favorite.csv", 0}, Fav{"Favorite_Com.csv", 1}, Fav{"Favorite_ProfCom.csv", 2}}) {
        auto bytes = readWholeFile(file(f.file));
        if (!bytes) {
            problems.push_back(std::string(f.file) + " is missing");
            continue;
        }
        DefinitionTables t(folder, f.family);
        std::string_view text = bytes->view();
        std::size_t pos = 0;
        std::string line, field;
        int group = -1;
        bool first = true;
        for (long long after; (after = readLine(text, line, pos)) >= 0; pos = static_cast<std::size_t>(after)) {
            if (first) {
                first = false;
                continue;
            }
            std::size_t cur = 0;
            bool end = false;
            std::string fields[3];
            for (int i = 0; i < 3 && !end; ++i)
                readField(line, cur, kNameLength, fields[i], end);
            if (!fields[0].empty())
                ++group;
            if (fields[2].empty())
                continue;
            auto add = readWholeFile(file(t.addListName(ListType::Favorite, group)));
            if (!add || add->view().find("," + fields[2] + ",") == std::string_view::npos)
                problems.push_back(std::string(f.file) + ": item \"" + fields[2] + "\" is not a parameter name of "
                                   + t.addListName(ListType::Favorite, group));
        }
    }
    return problems;
}

} // namespace vok

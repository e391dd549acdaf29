#include "paralist.h"

#include "fileutil.h"
#include "format.h"
#include "paramtree.h"
#include "store.h"

namespace paralist {

vok::ListType listTypeOfKind(int kind)
{
    switch (kind) {
    case 2: return vok::ListType::Event;
    case 3: return vok::ListType::Analog;
    case 4: return vok::ListType::AnalogAi;
    case 5: return vok::ListType::AnalogAo;
    case 6: return vok::ListType::Com;
    case 7: return vok::ListType::ProfCom;
    default: return vok::ListType::Function;
    }
}

int kindOfFamily(int family, int chosen)
{
    return family == 1 ? 6 : family == 2 ? 7 : chosen;
}

namespace {

bool fits(int modelClass, int kind)
{
    switch (kind) {
    case 1: return modelClass == vok::kClassA || modelClass == vok::kClassB;
    case 2: return modelClass == vok::kClassE;
    case 3: return modelClass == vok::kClassV;
    case 4: return modelClass == vok::kClassN;
    case 5: return modelClass == vok::kClassT;
    default: return modelClass == vok::kClassC;
    }
}

} // namespace

std::vector<Column> valueColumns(const vok::DataStore& store, int kind)
{
    std::vector<Column> out;
    for (int i = 0; i < vok::kStations; ++i) {
        if (!store.stationPresent[static_cast<std::size_t>(i)] || !fits(store.modelClass(i), kind))
            continue;
        for (int c = 0; c < (kind == 2 ? 1 : 4); ++c)
            out.push_back({i + 1, c});
    }
    return out;
}

std::string listProblem(vok::DefinitionTables& tables, int kind)
{
    const vok::ListType type = listTypeOfKind(kind);
    const std::string path = vok::joinPath(tables.folder(), vok::DefinitionTables::mainListName(type));
    auto main = vok::readWholeFile(path);
    if (!main)
        return path + " is missing or cannot be read";
    if (!tables.mainListKeys(type).empty())
        return {};
    const std::string_view text = main->view();
    if (text.find("\r\n") == std::string_view::npos && text.find_first_of("\r\n") != std::string_view::npos)
        return path + " has lines ended by " + (text.find('\n') != std::string_view::npos ? "LF" : "CR")
            + " alone; its lines must end with CR LF";
    return path + " lists no parameter";
}

std::string buildList(vok::DefinitionTables& tables, const vok::DataStore& store, int kind, const std::string& comment,
                      bool spreadsheet)
{
    const vok::ListType type = listTypeOfKind(kind);
    auto main = vok::readWholeFile(vok::joinPath(tables.folder(), vok::DefinitionTables::mainListName(type)));
    if (!main || !listProblem(tables, kind).empty())
        return {};
    const std::vector<Column> columns = valueColumns(store, kind);
    vok::ValueFormatter formatter(store, tables.specials());
    formatter.setSpreadsheetMode(spreadsheet);
    const vok::SpecialRegisters& sp = tables.specials();

    std::string out = comment + ",\r\n,\r\n[1],[2],[3],";
    for (const Column& c : columns)
        out += kind == 2 ? std::to_string(c.station) + "," : kind >= 6 ? std::string(",")
                                                                         : std::to_string(c.station) + " - (" + std::to_string(c.channel + 1) + "),";
    out += "unit,\r\n";

    const std::string_view text = main->view();
    std::string line;
    for (long long after, pos = static_cast<long long>(tree::readListHeader(text).end);
         (after = vok::readLine(text, line, static_cast<std::size_t>(pos))) >= 0; pos = after) {
        std::size_t cur = 0;
        bool end = false;
        std::string fields[3];
        for (int i = 0; i < 3 && !end; ++i)
            vok::readField(line, cur, vok::kNameLength, fields[i], end);
        out += fields[0] + "," + fields[1] + ",";
        vok::ParameterDefinition d;
        // Only an item the additional list resolves (and whose row parses) gets its values.
        if (fields[2].empty() || tables.findDefinition(type, fields[2], d) != vok::kTableOk) {
            out += "\r\n";
            continue;
        }
        out += d.name + ",";
        int unitChannel = -1;
        for (const Column& c : columns) {
            const int channel = 4 * (c.station - 1) + c.channel;
            const int reg = d.registers[static_cast<std::size_t>(c.channel)];
            const int index = c.station - 1;
            std::string cell;
            if (reg == 0 || !store.stationPresent[static_cast<std::size_t>(index)]) {
                cell.clear();
            } else if (store.commError(index, reg)) {
                cell = "-";
            } else if (store.modelClass(index) == vok::kClassB && c.channel >= 2 && d.channelLimit <= c.channel) {
                cell = " "; // the parameter does not apply to this channel
            } else {
                std::uint16_t raw = 0;
                store.getStoredValue(c.station, reg, raw);
                cell = formatter.formatValue(channel, raw, d);
                if (unitChannel < 0)
                    unitChannel = channel;
            }
            out += cell + ",";
        }
        out += ",";
        if (d.dataType == 1 || d.dataType == 7 || d.dataType == 8) {
            if (unitChannel >= 0) {
                const int u = formatter.settingOf(unitChannel, vok::SpecialRole::Unit);
                const bool failed = formatter.settingFailed(unitChannel, vok::SpecialRole::Unit);
                out += (u >= 0 && u <= 3 && !failed) ? sp.unitNames[static_cast<std::size_t>(u)] : sp.unitNames[0];
            }
        } else if (d.dataType != 2) {
            out += d.unitText;
        }
        out += "\r\n";
    }
    return out;
}

int printColumnCount(const vok::DataStore& store, int kind)
{
    if (kind >= 6)
        return 4 + 4;
    const vok::ChannelList& list = store.channelList(kind - 1);
    return 4 + (kind == 2 ? list.count : 4 * list.count);
}

std::string printControl(const std::string& workingDir, const std::string& printer, int columns)
{
    return "0/" + workingDir + "/DATA/ParameterOutputList.csv/LDPrint/" + (printer.empty() ? "1" : printer) + "/"
        + std::to_string(columns) + "/0/END";
}

std::vector<std::vector<std::string>> cellsOf(const std::string& list)
{
    std::vector<std::vector<std::string>> rows;
    std::size_t at = 0;
    for (std::size_t end; (end = list.find("\r\n", at)) != std::string::npos; at = end + 2) {
        std::vector<std::string> cells;
        const std::string line = list.substr(at, end - at);
        std::size_t from = 0;
        for (std::size_t comma; (comma = line.find(',', from)) != std::string::npos; from = comma + 1)
            cells.push_back(line.substr(from, comma - from));
        if (from < line.size())
            cells.push_back(line.substr(from));
        rows.push_back(std::move(cells));
    }
    return rows;
}

} // namespace paralist

#include "simline.h"

#include "dependent.h"
#include "fileutil.h"
#include "modbus.h"
#include "paramfile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace vok::sim {

namespace {

constexpr int kCouplingAddress = 63;

Bytes withCrc(Bytes frame)
{
    std::uint16_t crc = modbus::crc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

Bytes exceptionAnswer(std::uint8_t address, std::uint8_t function, int code)
{
    return withCrc({address, static_cast<std::uint8_t>(function | 0x80), static_cast<std::uint8_t>(code)});
}

Faults merged(const Faults& a, const Faults& b)
{
    Faults f = a;
    f.silent = a.silent || b.silent;
    f.crcRate = std::max(a.crcRate, b.crcRate);
    f.wrongAddress = a.wrongAddress || b.wrongAddress;
    f.exception = a.exception ? a.exception : b.exception;
    f.truncate = a.truncate || b.truncate;
    f.garbage = std::max(a.garbage, b.garbage);
    f.zStatus = a.zStatus ? a.zStatus : b.zStatus;
    f.identity = a.identity.empty() ? b.identity : a.identity;
    f.unreadable = a.unreadable ? a.unreadable : b.unreadable;
    f.clamps.insert(b.clamps.begin(), b.clamps.end());
    return f;
}

} // namespace

bool applyFault(Faults& f, const std::string& kind, const std::string& arg, bool on, std::string* error)
{
    auto number = [&](double fallback) { return arg.empty() ? fallback : std::strtod(arg.c_str(), nullptr); };
    if (kind == "silent")
        f.silent = on;
    else if (kind == "crc")
        f.crcRate = on ? std::clamp(number(1.0), 0.0, 1.0) : 0;
    else if (kind == "wrong-address")
        f.wrongAddress = on;
    else if (kind == "exception")
        f.exception = on ? std::clamp(static_cast<int>(number(4)), 1, 255) : 0;
    else if (kind == "truncate")
        f.truncate = on;
    else if (kind == "garbage")
        f.garbage = on ? std::clamp(static_cast<int>(number(4)), 1, 64) : 0;
    else if (kind == "zstatus")
        f.zStatus = on ? std::clamp(static_cast<int>(number(1)), 1, 255) : 0;
    else if (kind == "ident")
        f.identity = on ? arg.substr(0, 13) : std::string();
    else if (kind == "unreadable") {
        const int reg = static_cast<int>(number(0));
        if (on && (reg < 30001 || reg > 49999)) {
            if (error)
                *error = "unreadable needs a register 30001-49999";
            return false;
        }
        f.unreadable = on ? reg : 0;
    } else if (kind == "clamp") {
        // REG:MAX; "nofault N clamp" clears every clamp, "nofault N clamp REG" one.
        char* end = nullptr;
        const long reg = std::strtol(arg.c_str(), &end, 10);
        if (!on) {
            if (arg.empty())
                f.clamps.clear();
            else
                f.clamps.erase(static_cast<int>(reg));
            return true;
        }
        if (reg < 40001 || reg > 49999 || *end != ':') {
            if (error)
                *error = "clamp needs REG:MAX, a holding register and the largest value it keeps";
            return false;
        }
        f.clamps[static_cast<int>(reg)] = std::clamp(static_cast<int>(std::strtol(end + 1, nullptr, 0)), 0, 65535);
    } else {
        if (error)
            *error = "unknown fault \"" + kind + "\" (silent, crc [rate], wrong-address, exception [code], truncate, "
                     "garbage [bytes], zstatus [status], ident CODE, unreadable REG, clamp REG:MAX)";
        return false;
    }
    return true;
}

std::string describeFaults(const Faults& f)
{
    std::ostringstream out;
    if (f.silent)
        out << " silent";
    if (f.crcRate > 0)
        out << " crc " << f.crcRate;
    if (f.wrongAddress)
        out << " wrong-address";
    if (f.exception)
        out << " exception " << f.exception;
    if (f.truncate)
        out << " truncate";
    if (f.garbage)
        out << " garbage " << f.garbage;
    if (f.zStatus)
        out << " zstatus " << f.zStatus;
    if (!f.identity.empty())
        out << " ident " << f.identity;
    if (f.unreadable)
        out << " unreadable " << f.unreadable;
    for (const auto& [reg, max] : f.clamps)
        out << " clamp " << reg << ":" << max;
    return out.str();
}

Bytes zAnswer(const Bytes& request, const Bytes& modbusAnswer, int status)
{
    const std::size_t length = modbusAnswer.size();
    Bytes frame(20 + length, 0);
    // The request's header is mirrored; length, status and the embedded answer are new.
    for (std::size_t i = 0; i < 19 && i < request.size(); ++i)
        frame[i] = request[i];
    frame[1] = static_cast<std::uint8_t>((length + 17) & 0xFF);
    frame[2] = static_cast<std::uint8_t>((length + 17) >> 8);
    frame[3] = static_cast<std::uint8_t>(status);
    frame[17] = static_cast<std::uint8_t>(length & 0xFF);
    frame[18] = static_cast<std::uint8_t>(length >> 8);
    for (std::size_t i = 0; i < length; ++i)
        frame[19 + i] = modbusAnswer[i];
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i + 1 < frame.size(); ++i)
        sum = static_cast<std::uint8_t>(sum + frame[i]);
    frame.back() = static_cast<std::uint8_t>(-sum);
    return frame;
}

SimLine::SimLine(LineConfig config) : m_config(std::move(config)) {}

SimLine::Module SimLine::makeModule(int station, int address, const std::string& code, const char* status)
{
    Module m;
    m.station = station;
    m.address = address;
    m.code = code;
    for (std::size_t i = 0; i < m.status.size(); ++i)
        m.status[i] = static_cast<unsigned char>(status[i]);
    return m;
}

int SimLine::addressOf(int station) const
{
    return (station == 1 && (m_config.family == 1 || m_config.family == 2)) ? 128 : station;
}

bool SimLine::start(std::string* error)
{
    std::lock_guard lock(m_mutex);
    if (!m_texts.load(m_config.languageFolder, "")) {
        if (error)
            *error = "no text table in " + m_config.languageFolder;
        return false;
    }
    m_tables = std::make_unique<DefinitionTables>(m_config.languageFolder, m_config.family);
    m_tables->loadSpecialRegisters(m_texts);
    m_tables->buildRegisterMaps();
    if (!m_tables->specials().row(SpecialRole::Identification).found) {
        if (error)
            *error = "the language folder has no identification row";
        return false;
    }
    buildStationMaps();

    for (const auto& [station, code] : m_config.stations) {
        if (station < 1 || station > kStations) {
            if (error)
                *error = "station " + std::to_string(station) + " is outside 1-32";
            return false;
        }
        m_store.stationPresent[station - 1] = 1;
        for (int i = 0; i < 13; ++i)
            m_store.record(station - 1).identification[i] = i < static_cast<int>(code.size()) ? static_cast<unsigned char>(code[i]) : ' ';
    }
    if (!m_config.paramsFile.empty()) {
        const auto present = m_store.stationPresent;
        if (loadParameterFile(m_store, m_config.paramsFile) < 0) {
            if (error)
                *error = "cannot read the parameter file " + m_config.paramsFile;
            return false;
        }
        m_store.stationPresent = present;
    } else if (m_config.family == 0) {
        m_tables->applyDefaults(ListType::Function, m_store);
        m_tables->applyDefaults(ListType::Event, m_store);
    } else {
        m_tables->applyDefaults(m_config.family == 1 ? ListType::Com : ListType::ProfCom, m_store);
    }

    m_modules.clear();
    for (const auto& [station, code] : m_config.stations)
        m_modules.push_back(makeModule(station, addressOf(station), code, "RUN  OK   "));
    Module coupling;
    coupling.address = kCouplingAddress;
    coupling.code = "VOKZ000000000";
    m_modules.push_back(coupling);
    if (m_config.family == 0) {
        for (const auto& [address, code] : m_config.modules)
            m_modules.push_back(makeModule(0, address, code, "LINK OK   "));
    }

    // Registers the modules change on their own.
    const SpecialRegisters& sp = m_tables->specials();
    for (int r = 0; r < 4; ++r) {
        const auto role = static_cast<SpecialRole>(static_cast<int>(SpecialRole::Command1) + r);
        for (int c = 0; c < 4; ++c) {
            if (sp.reg(role, c))
                m_commandRegisters.push_back(sp.reg(role, c));
        }
    }
    const ListType control = m_config.family == 1 ? ListType::Com : m_config.family == 2 ? ListType::ProfCom : ListType::Function;
    struct Item {
        int textId;
        int kind;
    };
    for (Item item : {Item{231, 0}, Item{233, 1}, Item{234, 2}}) {
        // The trend items are keys in the text table, translated to their names at load.
        ParameterDefinition d;
        const std::string& name = m_texts.slot(item.textId);
        if (m_tables->findDefinition(control, name, d) != kTableOk
            && m_tables->findByName(m_tables->addListName(control), name, d) != kTableOk)
            continue;
        for (int c = 0; c < 4; ++c) {
            if (d.registers[c])
                m_dynamic.push_back({d.registers[c], item.kind, c});
        }
    }
    m_started = Clock::now();
    return true;
}

void SimLine::buildStationMaps()
{
    m_controlMapped.assign(20000, 0);
    m_eventMapped.assign(20000, 0);
    auto mark = [](std::vector<std::uint8_t>& map, const ParameterDefinition& d, int channels) {
        for (int c = 0; c < channels; ++c) {
            const int reg = d.registers[c];
            if (reg >= 30000 && reg <= 49999)
                map[reg - 30000] = 1;
        }
    };
    auto markFile = [&](const char* file, std::vector<std::uint8_t>& map, int channels) {
        if (auto bytes = readWholeFile(joinPath(m_config.languageFolder, file))) {
            for (const ParameterDefinition& d : allDefinitions(bytes->view()))
                mark(map, d, channels);
        }
    };
    if (m_config.family == 0) {
        markFile("AddContList.csv", m_controlMapped, 4);
        markFile("AddAnalogList.csv", m_controlMapped, 4);
        markFile("AddEventList.csv", m_eventMapped, 1);
    } else {
        markFile(m_config.family == 1 ? "AddComList.csv" : "AddProfComList.csv", m_controlMapped, 4);
    }
    // Every module carries its identification and status blocks.
    const SpecialRegisters& sp = m_tables->specials();
    for (auto* map : {&m_controlMapped, &m_eventMapped}) {
        const int ident = sp.reg(SpecialRole::Identification, 0);
        const int status = sp.reg(SpecialRole::Status, 0);
        for (int i = 0; i < 13 && ident; ++i)
            (*map)[ident + i - 30000] = 1;
        for (int i = 0; i < 10 && status; ++i)
            (*map)[status + i - 30000] = 1;
    }
}

bool SimLine::mapped(const Module& m, int reg) const
{
    if (reg < 30000 || reg > 49999)
        return false;
    if (m.station == 0) {
        const SpecialRegisters& sp = m_tables->specials();
        if (m.address == kCouplingAddress) {
            const int p = sp.reg(SpecialRole::Presence, 0);
            return reg == sp.reg(SpecialRole::ConnectionCheck, 0) || (p && (reg == p || reg == p + 1))
                || reg == sp.reg(SpecialRole::Extra, 0);
        }
        const int ident = sp.reg(SpecialRole::Identification, 0);
        const int status = sp.reg(SpecialRole::Status, 0);
        return (reg >= ident && reg < ident + 13) || (reg >= status && reg < status + 10);
    }
    return (m.station <= kControlStations ? m_controlMapped : m_eventMapped)[reg - 30000] != 0;
}

SimLine::Module* SimLine::moduleAt(int address)
{
    for (Module& m : m_modules) {
        if (m.address == address)
            return &m;
    }
    return nullptr;
}

const Faults& SimLine::faultsOf(int station) const
{
    static const Faults none;
    auto it = m_config.faults.find(station);
    return it == m_config.faults.end() ? none : it->second;
}

Faults SimLine::faultsOfModule(const Module& m) const
{
    // The coupling unit and the address modules have faults of their own only.
    return m.station ? merged(faultsOf(m.station), faultsOf(0)) : faultsOf(m.address);
}

std::vector<SimLine::Write> SimLine::writes()
{
    std::lock_guard lock(m_mutex);
    return m_writes;
}

void SimLine::clearWrites()
{
    std::lock_guard lock(m_mutex);
    m_writes.clear();
}

void SimLine::refreshInputs(Module& m)
{
    if (m.station < 1 || m.station > kControlStations || m_dynamic.empty())
        return;
    const double t = std::chrono::duration<double>(Clock::now() - m_started).count();
    const SpecialRegisters& sp = m_tables->specials();
    for (const Dynamic& d : m_dynamic) {
        const double phase = 0.7 * m.station + 1.3 * d.channel;
        std::uint16_t sv = 0, hi = 0, lo = 0;
        m_store.getStoredValue(m.station, sp.reg(SpecialRole::LimitedValue, d.channel), sv);
        m_store.getStoredValue(m.station, sp.reg(SpecialRole::RangeUpper, d.channel), hi);
        m_store.getStoredValue(m.station, sp.reg(SpecialRole::RangeLower, d.channel), lo);
        const double span = std::abs(static_cast<std::int16_t>(hi) - static_cast<std::int16_t>(lo));
        const double pv = static_cast<std::int16_t>(sv) + std::max(span, 100.0) * 0.03 * std::sin(2 * M_PI * t / 60 + phase);
        double value = 0;
        switch (d.kind) {
        case 0: value = pv; break;
        case 1: value = 500 + 250 * std::sin(2 * M_PI * t / 45 + phase); break;
        case 2: value = pv - static_cast<std::int16_t>(sv); break;
        default: break;
        }
        m_store.setStoredValue(m.station, d.reg, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(value))));
    }
}

int SimLine::readRegister(Module& m, int reg, std::uint16_t& value)
{
    if (!mapped(m, reg))
        return 2;
    const SpecialRegisters& sp = m_tables->specials();
    const int ident = sp.reg(SpecialRole::Identification, 0);
    const int status = sp.reg(SpecialRole::Status, 0);
    if (reg >= ident && reg < ident + 13) {
        const Faults f = faultsOfModule(m);
        const std::string& code = (m.station && !f.identity.empty()) ? f.identity : m.code;
        const std::size_t i = static_cast<std::size_t>(reg - ident);
        value = i < code.size() ? static_cast<unsigned char>(code[i]) : ' ';
        return 0;
    }
    if (reg >= status && reg < status + 10) {
        value = m.status[static_cast<std::size_t>(reg - status)];
        return 0;
    }
    if (m.station == 0) {
        if (m.address == kCouplingAddress) {
            const int p = sp.reg(SpecialRole::Presence, 0);
            if (reg == p || reg == p + 1) {
                const int word = reg - p;
                value = 0;
                for (int b = 0; b < 16; ++b) {
                    if (m_config.stations.count(word * 16 + b + 1))
                        value = static_cast<std::uint16_t>(value | (1u << b));
                }
                return 0;
            }
            if (reg == sp.reg(SpecialRole::Extra, 0)) {
                value = static_cast<std::uint16_t>(m_config.extraStation);
                return 0;
            }
        }
        value = m.extra[reg];
        return 0;
    }
    m_store.getStoredValue(m.station, reg, value);
    return 0;
}

int SimLine::writeRegister(Module& m, int reg, std::uint16_t value)
{
    if (!mapped(m, reg) || reg < 40000)
        return 2;
    if (m.station == 0) {
        m.extra[reg] = value;
        return 0;
    }
    // A module that keeps a register within limits of its own stores the limit instead.
    const Faults f = faultsOfModule(m);
    if (auto clamp = f.clamps.find(reg); clamp != f.clamps.end())
        value = static_cast<std::uint16_t>(std::min<int>(value, clamp->second));
    std::uint16_t old = 0;
    m_store.getStoredValue(m.station, reg, old);
    m_store.setStoredValue(m.station, reg, value);
    if (value != 0 && std::find(m_commandRegisters.begin(), m_commandRegisters.end(), reg) != m_commandRegisters.end())
        m_pendingResets[{m.station, reg}] = Clock::now() + std::chrono::milliseconds(m_config.commandResetMs);
    // The module brings the channel in line itself after a change of its defining registers.
    if (m_config.family == 0 && m.station <= kControlStations && old != value) {
        int channel = 0;
        if (dependencyKindOf(m_tables->specials(), reg, channel) != DependencyKind::None)
            applyDependentUpdate(m_store, m_tables->specials(), m_tables->maps(), m.station, channel, reg, old, false);
    }
    return 0;
}

Bytes SimLine::answer(Module& m, const Bytes& req, bool& silent)
{
    const Faults f = faultsOfModule(m);
    silent = f.silent;
    if (silent)
        return {};
    const std::uint8_t address = req[0];
    const std::uint8_t function = req[1];
    if (f.exception)
        return exceptionAnswer(address, function, f.exception);
    const int start = (req[2] << 8) | req[3];
    const int countOrValue = (req[4] << 8) | req[5];
    Bytes out{address, function};
    switch (function) {
    case 3:
    case 4: {
        const int base = function == 4 ? 30001 : 40001;
        if (countOrValue < 1 || countOrValue > 125)
            return exceptionAnswer(address, function, 3);
        if (f.unreadable >= base + start && f.unreadable < base + start + countOrValue)
            return exceptionAnswer(address, function, 2);
        refreshInputs(m);
        out.push_back(static_cast<std::uint8_t>(2 * countOrValue));
        for (int i = 0; i < countOrValue; ++i) {
            std::uint16_t v = 0;
            if (readRegister(m, base + start + i, v) != 0)
                return exceptionAnswer(address, function, 2);
            out.push_back(static_cast<std::uint8_t>(v >> 8));
            out.push_back(static_cast<std::uint8_t>(v & 0xFF));
        }
        break;
    }
    case 6:
        if (writeRegister(m, 40001 + start, static_cast<std::uint16_t>(countOrValue)) != 0)
            return exceptionAnswer(address, function, 2);
        m_writes.push_back({address, 6, 40001 + start, {static_cast<std::uint16_t>(countOrValue)}});
        out.assign(req.begin(), req.begin() + 6);
        break;
    case 16: {
        if (countOrValue < 1 || countOrValue > 123 || req.size() < static_cast<std::size_t>(9 + 2 * countOrValue)
            || req[6] != 2 * countOrValue)
            return exceptionAnswer(address, function, 3);
        for (int i = 0; i < countOrValue; ++i) {
            if (!mapped(m, 40001 + start + i))
                return exceptionAnswer(address, function, 2);
        }
        Write w{address, 16, 40001 + start, {}};
        for (int i = 0; i < countOrValue; ++i) {
            const auto v = static_cast<std::uint16_t>((req[7 + 2 * i] << 8) | req[8 + 2 * i]);
            writeRegister(m, 40001 + start + i, v);
            w.values.push_back(v);
        }
        m_writes.push_back(std::move(w));
        out.assign(req.begin(), req.begin() + 6);
        break;
    }
    default:
        return exceptionAnswer(address, function, 1);
    }
    if (f.wrongAddress)
        out[0] = static_cast<std::uint8_t>(out[0] + 1);
    out = withCrc(out);
    if (f.crcRate > 0 && std::uniform_real_distribution<double>(0, 1)(m_random) < f.crcRate)
        out.back() ^= 0x5A;
    if (f.truncate)
        out.resize(out.size() / 2);
    for (int i = 0; i < f.garbage; ++i)
        out.push_back(static_cast<std::uint8_t>(m_random()));
    return out;
}

Bytes SimLine::handle(const Bytes& request)
{
    std::lock_guard lock(m_mutex);
    if (request.size() < 4 || !modbus::crcMatches(request))
        return {};
    Module* m = moduleAt(request[0]);
    if (!m)
        return {};
    bool silent = false;
    return answer(*m, request, silent);
}

Bytes SimLine::handleZ(const Bytes& frame)
{
    std::lock_guard lock(m_mutex);
    if (frame.size() < 22 || frame[0] != 0x5A)
        return {};
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < frame.size(); ++i)
        sum = static_cast<std::uint8_t>(sum + frame[i]);
    const std::size_t length = frame[17] | (frame[18] << 8);
    if (sum != 0 || 19 + length + 1 != frame.size())
        return {};
    Bytes request(frame.begin() + 19, frame.begin() + 19 + static_cast<std::ptrdiff_t>(length));
    if (request.size() < 4 || !modbus::crcMatches(request))
        return {};
    // Behind the gateway a station is addressed by its number, also station 1 of families 1 and 2.
    const int station = request[0];
    Module* m = nullptr;
    for (Module& candidate : m_modules) {
        if ((candidate.station && candidate.station == station) || (!candidate.station && candidate.address == station))
            m = &candidate;
    }
    if (!m)
        return {};
    bool silent = false;
    Bytes inner = answer(*m, request, silent);
    if (silent)
        return {};
    const int status = faultsOfModule(*m).zStatus;
    return zAnswer(frame, inner, status);
}

void SimLine::tick()
{
    std::lock_guard lock(m_mutex);
    const auto now = Clock::now();
    for (auto it = m_pendingResets.begin(); it != m_pendingResets.end();) {
        if (it->second <= now) {
            m_store.setStoredValue(it->first.first, it->first.second, 0);
            it = m_pendingResets.erase(it);
        } else {
            ++it;
        }
    }
}

bool SimLine::setFault(int station, const std::string& kind, const std::string& argument, bool on, std::string* error)
{
    std::lock_guard lock(m_mutex);
    if ((station < 0 || station > kStations) && station != kCouplingAddress && station != 64 && station != 128) {
        if (error)
            *error = "station must be 1-32, 63, 64, 128, or * for every station";
        return false;
    }
    return applyFault(m_config.faults[station], kind, argument, on, error);
}

void SimLine::clearFaults(int station)
{
    std::lock_guard lock(m_mutex);
    if (station == 0)
        m_config.faults.clear();
    else
        m_config.faults.erase(station);
}

bool SimLine::setPresent(int station, const std::string& code)
{
    std::lock_guard lock(m_mutex);
    if (station < 1 || station > kStations)
        return false;
    m_modules.erase(std::remove_if(m_modules.begin(), m_modules.end(), [&](const Module& m) { return m.station == station; }),
                    m_modules.end());
    m_config.stations.erase(station);
    m_store.stationPresent[station - 1] = 0;
    if (code.empty())
        return true;
    m_config.stations[station] = code;
    m_store.stationPresent[station - 1] = 1;
    m_modules.push_back(makeModule(station, addressOf(station), code, "RUN  OK   "));
    return true;
}

void SimLine::setExtraStation(int station)
{
    std::lock_guard lock(m_mutex);
    m_config.extraStation = station;
}

bool SimLine::setRegister(int station, int reg, std::uint16_t value)
{
    std::lock_guard lock(m_mutex);
    Module* m = nullptr;
    for (Module& candidate : m_modules) {
        if ((station >= 1 && station <= kStations && candidate.station == station) || (!candidate.station && candidate.address == station))
            m = &candidate;
    }
    if (!m || !mapped(*m, reg))
        return false;
    if (m->station == 0) {
        m->extra[reg] = value;
        return true;
    }
    m_store.setStoredValue(m->station, reg, value);
    return true;
}

std::optional<std::uint16_t> SimLine::registerValue(int station, int reg)
{
    std::lock_guard lock(m_mutex);
    for (Module& m : m_modules) {
        if ((station >= 1 && station <= kStations && m.station == station) || (!m.station && m.address == station)) {
            std::uint16_t v = 0;
            if (readRegister(m, reg, v) != 0)
                return std::nullopt;
            return v;
        }
    }
    return std::nullopt;
}

std::string SimLine::status()
{
    std::lock_guard lock(m_mutex);
    std::ostringstream out;
    out << "family " << m_config.family << ", " << m_config.stations.size() << " stations";
    for (const auto& [station, code] : m_config.stations) {
        out << "\n  station " << station << " (address " << addressOf(station) << ") " << code
            << describeFaults(merged(faultsOf(station), faultsOf(0)));
    }
    for (const Module& m : m_modules) {
        if (!m.station)
            out << "\n  address " << m.address << " " << m.code << describeFaults(faultsOf(m.address));
    }
    if (m_config.extraStation)
        out << "\n  extra station " << m_config.extraStation;
    return out.str();
}

} // namespace vok::sim

#include "trendlog.h"

#include "fileutil.h"
#include "format.h"
#include "link.h"
#include "modbus.h"
#include "store.h"
#include "trendbuffer.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace vok {

namespace {

// Copies a text into a fixed field, cut to the field and always ended by NUL.
template <std::size_t N>
void putText(char (&field)[N], const std::string& text)
{
    const std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
}

template <std::size_t N>
std::string getText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

} // namespace

TrendLogger::TrendLogger(ModbusMaster& master, const DataStore& store, const SpecialRegisters& specials, TrendSection* section)
    : m_master(master), m_store(store), m_specials(specials), m_section(section),
      m_buffer(section && section->isOpen() ? section->buffer() : nullptr)
{
}

void TrendLogger::say(const std::string& text)
{
    if (onEvent)
        onEvent(text);
}

void TrendLogger::end(const std::string& why)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_ended.empty())
            return;
        m_ended = why;
        m_stop = true;
    }
    say("Logging ended: " + why + ".");
}

TrendLogger::Status TrendLogger::status() const
{
    Status st;
    st.running = m_running;
    const LineHealth h = m_master.link().health();
    st.lost = h.lost;
    st.lostSince = h.since;
    st.lostWhy = h.why;
    st.cycles = m_cycles;
    st.samplesRead = m_samplesRead;
    st.samplesFailed = m_samplesFailed;
    st.sectionBroken = m_sectionBroken;
    std::lock_guard lock(m_mutex);
    st.ended = m_ended;
    return st;
}

void TrendLogger::sayLineState()
{
    const LineHealth h = m_master.link().health();
    if (h.lost && (!m_saidLost || h.losses != m_lossesSeen)) {
        m_saidLost = true;
        m_lossesSeen = h.losses;
        say("The line is lost since " + timeText(h.since).substr(11) + " (" + h.why
            + "); logging goes on and leaves the cells empty.");
    } else if (!h.lost && m_saidLost) {
        m_saidLost = false;
        say("The line is back.");
    }
}

void TrendLogger::keepPort()
{
    Link& link = m_master.link();
    const PortHandle port = link.linkHandle();
    if (m_havePort && port && !port->lost())
        return;
    if (m_havePort) {
        link.noteLost("the port hung up or reported an I/O error");
        link.close();
        m_havePort = false;
    }
    m_portDown = true;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastReopen < std::chrono::seconds(kReopenSeconds))
        return;
    m_lastReopen = now;
    if (link.openLink() == 0) {
        m_havePort = true;
        m_portDown = false;
    }
}

TrendLogger::~TrendLogger()
{
    stop();
}

std::string TrendLogger::timeText(std::time_t t)
{
    std::tm local {};
    ::localtime_r(&t, &local);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec);
    return buf;
}

int TrendLogger::channelOf(int pen) const
{
    const TrendPenDef& p = m_setup.group.pens[static_cast<std::size_t>(pen)];
    return 4 * p.stationIndex + p.channelIndex;
}

void TrendLogger::prepare(Setup setup)
{
    m_setup = std::move(setup);
}

double TrendLogger::scaled(int pen, std::uint16_t raw) const
{
    const ParameterDefinition& d = m_setup.definitions[static_cast<std::size_t>(pen)];
    const ValueFormatter f(m_store, m_specials);
    const double s = static_cast<std::int16_t>(raw);
    switch (d.dataType) {
    case 0: return s / std::pow(10.0, d.decimals);
    case 1:
    case 7:
    case 8: return s / std::pow(10.0, f.channelDecimals(channelOf(pen), d.decimals));
    default: return raw;
    }
}

void TrendLogger::writeDefinitions()
{
    if (!m_buffer)
        return;
    TrendBuffer& b = *m_buffer;
    const ValueFormatter f(m_store, m_specials);
    for (int p = 0; p < TREND_PENS; ++p) {
        const TrendPenDef& pen = m_setup.group.pens[static_cast<std::size_t>(p)];
        if (pen.unused)
            continue;
        const ParameterDefinition& d = m_setup.definitions[static_cast<std::size_t>(p)];
        TrendPen& tp = b.pens[p];
        putText(b.groupName, m_setup.group.name);
        tp.stationIndex = pen.stationIndex;
        tp.channelIndex = pen.channelIndex;
        putText(tp.itemName, pen.itemName);
        const int channel = channelOf(p);
        std::string unit = d.unitText;
        int decimals = d.decimals;
        if (d.dataType == 1) {
            const int u = f.settingOf(channel, SpecialRole::Unit);
            unit = (u >= 0 && u <= 3 && !f.settingFailed(channel, SpecialRole::Unit)) ? m_specials.unitNames[static_cast<std::size_t>(u)]
                                                                                      : m_specials.unitNames[0];
            decimals = f.channelDecimals(channel, d.decimals);
        }
        putText(tp.unit, unit);
        tp.scaleMax = pen.scaleMax;
        tp.scaleMin = pen.scaleMin;
        tp.decimals = decimals;
        tp.valueKind = d.dataType;
        b.penDefsReady = 1;
        tp.used = tp.valid = 1;
    }
    b.newestSlot = -1;
    for (auto& stamp : b.timeStamps)
        stamp[0] = 0;
    for (TrendPen& tp : b.pens)
        std::fill(std::begin(tp.samples), std::end(tp.samples), TREND_NO_VALUE);
}

std::string TrendLogger::keptName(const std::string& csvPath)
{
    // The first sample's time stamp "YYYY/MM/DD HH:MM:SS" starts the fourth line.
    std::string stamp;
    if (auto bytes = readWholeFile(csvPath)) {
        const std::string_view text = bytes->view();
        std::size_t at = 0;
        bool headers = true;
        for (int line = 0; line < 3 && headers; ++line)
            headers = readLineCrLf(text, at).has_value();
        if (headers && text.size() >= at + 19) {
            const std::string_view t = text.substr(at, 19);
            const std::string digits = std::string(t.substr(0, 4)) + std::string(t.substr(5, 2)) + std::string(t.substr(8, 2))
                + "-" + std::string(t.substr(11, 2)) + std::string(t.substr(14, 2)) + std::string(t.substr(17, 2));
            if (std::all_of(digits.begin(), digits.end(), [](char c) { return (c >= '0' && c <= '9') || c == '-'; }))
                stamp = digits;
        }
    }
    if (stamp.empty()) {
        struct stat st {};
        std::tm local {};
        const std::time_t t = ::stat(csvPath.c_str(), &st) == 0 ? st.st_mtime : std::time(nullptr);
        ::localtime_r(&t, &local);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                      local.tm_hour, local.tm_min, local.tm_sec);
        stamp = buf;
    }
    const std::string::size_type dot = csvPath.rfind('.');
    const std::string::size_type slash = csvPath.rfind('/');
    const bool ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (ext ? csvPath.substr(0, dot) : csvPath) + "-" + stamp + (ext ? csvPath.substr(dot) : std::string(".csv"));
}

bool TrendLogger::writeHeaders()
{
    // The previous recording is kept, never deleted: a second Start must not lose a night.
    if (fileExists(m_setup.csvPath)) {
        std::string error;
        if (!renameAside(m_setup.csvPath, keptName(m_setup.csvPath), &error)) {
            end("the previous log " + m_setup.csvPath + " cannot be kept (" + error + ")");
            return false;
        }
    }
    std::string lines[3];
    for (int h = 0; h < 3; ++h) {
        lines[h] = m_setup.headers[static_cast<std::size_t>(h)];
        // A heading without a comma is made the first cell.
        if (lines[h].find(',') == std::string::npos)
            lines[h] += ",";
    }
    for (int p = 0; p < TREND_PENS; ++p) {
        const TrendPenDef& pen = m_setup.group.pens[static_cast<std::size_t>(p)];
        if (pen.unused) {
            for (std::string& l : lines)
                l += ",";
            continue;
        }
        lines[0] += std::to_string(pen.stationIndex + 1) + "-(" + std::to_string(pen.channelIndex + 1) + "),";
        // The item and the unit as the section holds them.
        lines[1] += (m_buffer ? getText(m_buffer->pens[p].itemName) : pen.itemName) + ",";
        lines[2] += (m_buffer ? getText(m_buffer->pens[p].unit) : m_setup.definitions[static_cast<std::size_t>(p)].unitText) + ",";
    }
    std::string error;
    if (!appendWhole(m_setup.csvPath, lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2] + "\r\n", &error)) {
        end("the log " + error);
        return false;
    }
    return true;
}

void TrendLogger::runCycle(const std::string& time)
{
    // Another process cut the section short: it reaches nobody now, so it is left.
    if (m_buffer && m_section && m_section->broken()) {
        m_buffer = nullptr;
        m_sectionBroken = true;
        say("The shared trend section " + m_section->name() + " was cut short by another program; only the log file is written.");
    }
    const ValueFormatter f(m_store, m_specials);
    std::string line = time + ",";
    int slot = 0;
    if (m_buffer) {
        slot = m_buffer->newestSlot + 1;
        if (slot >= TREND_SLOTS || slot < 0)
            slot = 0;
    }
    int tried = 0, answered = 0;
    for (int p = 0; p < TREND_PENS; ++p) {
        const TrendPenDef& pen = m_setup.group.pens[static_cast<std::size_t>(p)];
        if (pen.unused || (m_buffer && !(m_buffer->pens[p].used && m_buffer->pens[p].valid))) {
            line += ",";
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // Stopped in the middle of a cycle: nothing more of it is written.
        if (m_stop)
            return;
        const ParameterDefinition& d = m_setup.definitions[static_cast<std::size_t>(p)];
        const int reg = d.registers[static_cast<std::size_t>(pen.channelIndex & 3)];
        std::uint16_t raw = kMissingValue;
        // An item without a register (never found in the list) has no value to read; a port
        // that is gone is not asked until it is open again.
        bool ok = false;
        if (reg != 0) {
            ++tried;
            ok = !m_portDown && m_master.readOneRegister(pen.stationIndex + 1, reg, &raw) == kCommOk;
            answered += ok ? 1 : 0;
        }
        if (m_buffer) {
            TrendBuffer& b = *m_buffer;
            b.pens[p].samples[slot] = ok ? scaled(p, raw) : TREND_NO_VALUE;
            std::memcpy(b.timeStamps[slot], time.c_str(), std::min<std::size_t>(time.size() + 1, sizeof b.timeStamps[slot]));
            b.timeStamps[slot][sizeof b.timeStamps[slot] - 1] = 0;
            b.sampleCounts[p] = std::min(b.sampleCounts[p] + 1, TREND_SLOTS);
        }
        line += (ok ? f.formatValue(channelOf(p), raw, d) : std::string()) + ",";
    }
    // A cycle cut short by a stop is written nowhere and counts for nothing.
    if (m_stop)
        return;
    ++m_cycles;
    m_samplesRead += answered;
    m_samplesFailed += tried - answered;
    // Every pen silent for a few cycles: the line is lost for every user of it.
    if (tried > 0 && answered == 0) {
        if (++m_silentCycles >= kSilentCycles)
            m_master.link().noteLost("no pen answered for " + std::to_string(kSilentCycles) + " cycles");
    } else if (answered > 0) {
        m_silentCycles = 0;
    }
    // The index last, after every pen of the cycle: a reader never sees a half cycle as new.
    if (m_buffer) {
        std::atomic_thread_fence(std::memory_order_release);
        m_buffer->newestSlot = slot;
    }
    // A log that silently stops growing would be worse than none: a failed line ends logging.
    std::string error;
    if (!appendWhole(m_setup.csvPath, line + "\r\n", &error)) {
        end("the log " + error);
        return;
    }
    sayLineState();
}

bool TrendLogger::start(Setup setup)
{
    if (m_running)
        return false;
    if (m_thread.joinable())
        m_thread.join();
    prepare(std::move(setup));
    m_stop = false;
    m_cycles = m_samplesRead = m_samplesFailed = 0;
    m_sectionBroken = false;
    {
        std::lock_guard lock(m_mutex);
        m_ended.clear();
    }
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return true;
}

void TrendLogger::run()
{
    ModbusMaster::Background background;
    Link& link = m_master.link();
    Link::Use use(link, LineUser::Logging);
    m_openFailed = link.openLinkFromSettings() != 0;
    m_havePort = !m_openFailed;
    m_portDown = false;
    m_silentCycles = 0;
    m_saidLost = false;
    m_lossesSeen = link.health().losses;
    if (!m_openFailed) {
        // The headers name the items and units the section was given.
        writeDefinitions();
        writeHeaders();
        // Cycles start on a fixed beat, so that the reads' own time does not push each
        // sample later until a second of the log is skipped; a cycle that overran its beat
        // starts the next one at once and the beat restarts from there.
        const auto cycle = std::chrono::seconds(std::clamp(m_setup.group.cycle, 1, 60));
        auto next = std::chrono::steady_clock::now();
        while (!m_stop) {
            keepPort();
            runCycle(timeText(std::time(nullptr)));
            next += cycle;
            if (const auto now = std::chrono::steady_clock::now(); next <= now)
                next = now;
            std::unique_lock lock(m_mutex);
            m_wake.wait_until(lock, next, [this] { return m_stop.load(); });
        }
        // This user's use of the port ends; whoever else holds it keeps it.
        if (m_havePort)
            link.close();
        m_havePort = false;
    }
    m_running = false;
}

void TrendLogger::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    // A read of ours in progress ends at once (its pen gets no value for that cycle); another
    // user's exchange is left alone.
    if (m_running && m_thread.joinable())
        m_master.interruptExchangeOf(m_thread.get_id());
    if (m_thread.joinable())
        m_thread.join();
}

bool TrendLogger::running() const
{
    return m_running;
}

} // namespace vok

#pragma once
// Trend logging: a thread that samples the eight pens of a group once per cycle, writes each
// cycle into the shared trend section for the Trend viewer and appends a line to
// "DATA/DataTrend.csv". Stopping it takes at most a second, whatever the cycle.

#include "trenddef.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace vok {

class DataStore;
class ModbusMaster;
class Reporter;
struct SpecialRegisters;
struct TrendBuffer;

class TrendLogger {
public:
    struct Setup {
        TrendGroup group; // as stored when Start was pressed
        std::array<ParameterDefinition, 8> definitions;
        std::string csvPath;                // DATA/DataTrend.csv
        std::array<std::string, 3> headers; // texts 107, 108 and 109
    };

    // `buffer` may be null (no shared section): then only the log file is written.
    TrendLogger(ModbusMaster& master, const DataStore& store, const SpecialRegisters& specials, TrendBuffer* buffer);
    ~TrendLogger();
    TrendLogger(const TrendLogger&) = delete;
    TrendLogger& operator=(const TrendLogger&) = delete;

    // Starts the logging thread unless one runs; false when one does.
    bool start(Setup setup);
    // Ends logging: the sleep and a read in progress end at once, no further line is
    // written; returns when the thread has ended.
    void stop();
    bool running() const;
    // Whether the last start ended at once because the port could not be opened.
    bool openFailed() const { return m_openFailed; }

    // The steps of the thread, for a caller that drives them itself (tests, vokctl).
    void prepare(Setup setup);
    // The pen definitions into the shared section, the rings reset.
    void writeDefinitions();
    // A new log file with its three header lines; false when it cannot be written.
    bool writeHeaders();
    // One cycle at the given time: every pen read, the section and the log written.
    void runCycle(const std::string& timeText);
    // "%04d/%02d/%02d %02d:%02d:%02d" of a local time.
    static std::string timeText(std::time_t t);

    // The value of a pen's raw register as the section holds it, by the definition's kind.
    double scaled(int pen, std::uint16_t raw) const;

private:
    void run();
    int channelOf(int pen) const;

    ModbusMaster& m_master;
    const DataStore& m_store;
    const SpecialRegisters& m_specials;
    TrendBuffer* m_buffer;
    Setup m_setup;

    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_openFailed{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
};

} // namespace vok

#pragma once
// Trend logging: a thread that samples the eight pens of a group once per cycle, writes each
// cycle into the shared trend section for the Trend viewer and appends a line to
// "DATA/DataTrend.csv". Stopping it takes at most a second, whatever the cycle.

#include "trenddef.h"

#include <array>
#include <atomic>
#include <chrono>
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
class TrendSection;

// Every pen of this many cycles in a row without an answer: the line is lost.
inline constexpr int kSilentCycles = 3;
// A port that hung up is opened again this often while logging goes on.
inline constexpr int kReopenSeconds = 2;

class TrendLogger {
public:
    struct Setup {
        TrendGroup group; // as stored when Start was pressed
        std::array<ParameterDefinition, 8> definitions;
        std::string csvPath;                // DATA/DataTrend.csv
        std::array<std::string, 3> headers; // texts 107, 108 and 109
    };

    // `section` may be null or closed (no shared section): then only the log file is written.
    TrendLogger(ModbusMaster& master, const DataStore& store, const SpecialRegisters& specials, TrendSection* section);
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

    // What logging has seen since its start, for the dialog's line and vokctl's result.
    struct Status {
        bool running = false;
        bool lost = false;       // the line, as every user of it sees it
        std::time_t lostSince = 0;
        std::string lostWhy;
        long cycles = 0;
        long samplesRead = 0;
        long samplesFailed = 0;
        std::string ended;       // why logging ended by itself (the log cannot be written ...)
        bool sectionBroken = false;
    };
    Status status() const;
    // Said once per change, on the logging thread: the line lost or back, logging ended, the
    // shared section broken.
    std::function<void(const std::string&)> onEvent;

    // The steps of the thread, for a caller that drives them itself (tests, vokctl).
    void prepare(Setup setup);
    // The pen definitions into the shared section, the rings reset.
    void writeDefinitions();
    // A new log file with its three header lines; false when it cannot be written (the
    // reason in status().ended). A log already there is kept under the time of its first
    // sample ("DataTrend-YYYYMMDD-HHMMSS.csv"), never deleted.
    bool writeHeaders();
    // One cycle at the given time: every pen read, the section and the log written.
    void runCycle(const std::string& timeText);
    // "%04d/%02d/%02d %02d:%02d:%02d" of a local time.
    static std::string timeText(std::time_t t);

    // The value of a pen's raw register as the section holds it, by the definition's kind.
    double scaled(int pen, std::uint16_t raw) const;

    // The name a previous log is kept under: its first sample's time, else its last change.
    static std::string keptName(const std::string& csvPath);

private:
    void run();
    int channelOf(int pen) const;
    // After a hang-up or an I/O error: this user's use of the port ends, and it is opened
    // again every few seconds. A port that is open but silent is left as it is.
    void keepPort();
    void say(const std::string& text);
    void end(const std::string& why);
    void sayLineState();

    ModbusMaster& m_master;
    const DataStore& m_store;
    const SpecialRegisters& m_specials;
    TrendSection* m_section;
    TrendBuffer* m_buffer;
    Setup m_setup;

    bool m_havePort = false;
    bool m_portDown = false;
    std::chrono::steady_clock::time_point m_lastReopen{};
    int m_silentCycles = 0;
    bool m_saidLost = false;
    unsigned m_lossesSeen = 0;
    std::atomic<long> m_cycles{0};
    std::atomic<long> m_samplesRead{0};
    std::atomic<long> m_samplesFailed{0};
    std::atomic<bool> m_sectionBroken{false};
    std::string m_ended; // under m_mutex

    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_openFailed{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
};

} // namespace vok

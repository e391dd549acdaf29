#pragma once
// The worker threads: the transfer worker (upload, download, online start), the command
// monitors that watch a command register until the module sets it back to 0, and the
// station re-reads. A stop asked of them ends them within a second; none is ever killed.

#include "link.h"
#include "transfer.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace vok {

// A watched command register that fails this many reads in a row: the line is lost.
inline constexpr int kSilentMonitorReads = 3;

class Workers {
public:
    explicit Workers(TransferContext& context);
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // Stops a running transfer worker, then starts one for `type`.
    void startTransferWorker(TransferType type);
    bool transferRunning() const;
    // Waits for the transfer worker; its result (the sequence's, or -1 when the port could
    // not be opened).
    int waitTransfer();
    // Called on the worker thread when a transfer has ended, with its result.
    std::function<void(int)> onTransferFinished;

    // Sets stopRequested and ends a read in progress at once.
    void requestStop();

    // The monitor row (0-3) of a command register just written, with its thread started;
    // -1 when nothing is monitored (offline, not enabled, not a command register).
    int startCommandMonitor(int station, int channel, int reg, bool enabled);
    bool monitorRunning(int station, int channel, int row) const;
    void startStationReread(int station);
    bool rereadRunning(int station) const;

    // At exit: closes the port, stops every worker and waits for them.
    void stopAllWorkers();

    // Whether any station re-read runs.
    bool anyRereadRunning() const;

private:
    // A worker thread while it runs: counted as a user of the line, and known to
    // requestStop as one of ours.
    class Tracked {
    public:
        Tracked(Workers& workers, LineUser who);
        ~Tracked();
        Tracked(const Tracked&) = delete;
        Tracked& operator=(const Tracked&) = delete;

    private:
        Workers& m_workers;
        Link::Use m_use;
    };
    struct Job {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void stopJob(std::unique_ptr<Job>& job);
    void reapFinished();

    TransferContext& m_ctx;
    Transfers m_transfers;
    mutable std::mutex m_mutex;
    std::unique_ptr<Job> m_transfer;
    std::atomic<int> m_transferResult{0};
    std::map<std::pair<int, int>, std::unique_ptr<Job>> m_monitors; // (global channel, row)
    std::map<int, std::unique_ptr<Job>> m_rereads;                  // station
    mutable std::mutex m_jobsMutex;
    std::set<std::thread::id> m_jobThreads;
};

// What the windows may offer now, decided in one place from who uses the line: nothing
// changes the store while a transfer or a re-read writes into it.
struct CommandGates {
    bool editStore = true;    // value and code inputs, Utility, Undo / Redo, Open, Save, the parameter list
    bool transfers = true;    // upload, download, changes download, compare, communication setup
    bool moduleStatus = true;
    std::string why;          // what holds them back, for a refusal
};
CommandGates commandGates(const Workers& workers, const Link& link);

} // namespace vok

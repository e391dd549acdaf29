#include "workers.h"

#include "modbus.h"
#include "reporter.h"

#include <chrono>

namespace vok {

namespace {

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool waitDone(const std::atomic<bool>& done, int ms)
{
    for (int waited = 0; !done && waited < ms; waited += 10)
        sleepMs(10);
    return done;
}

} // namespace

Workers::Workers(TransferContext& context) : m_ctx(context), m_transfers(context) {}

Workers::~Workers()
{
    stopAllWorkers();
}

void Workers::requestStop()
{
    m_ctx.stopRequested = true;
    // Only the workers' own exchanges end at once; the logging or the module status keep theirs.
    std::vector<std::thread::id> ours;
    {
        std::lock_guard lock(m_jobsMutex);
        for (const auto& id : m_jobThreads)
            ours.push_back(id);
    }
    for (const auto& id : ours)
        m_ctx.master.interruptExchangeOf(id);
}

Workers::Tracked::Tracked(Workers& workers, LineUser who) : m_workers(workers), m_use(workers.m_ctx.master.link(), who)
{
    std::lock_guard lock(m_workers.m_jobsMutex);
    m_workers.m_jobThreads.insert(std::this_thread::get_id());
}

Workers::Tracked::~Tracked()
{
    std::lock_guard lock(m_workers.m_jobsMutex);
    m_workers.m_jobThreads.erase(std::this_thread::get_id());
}

void Workers::stopJob(std::unique_ptr<Job>& job)
{
    if (!job)
        return;
    if (!job->done) {
        requestStop();
        // The reads end at once when interrupted, so a second is plenty; keep asking.
        for (int i = 0; i < 10 && !waitDone(job->done, 100); ++i)
            requestStop();
    }
    job->thread.join();
    job.reset();
}

void Workers::reapFinished()
{
    for (auto it = m_monitors.begin(); it != m_monitors.end();) {
        if (it->second->done) {
            it->second->thread.join();
            it = m_monitors.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = m_rereads.begin(); it != m_rereads.end();) {
        if (it->second->done) {
            it->second->thread.join();
            it = m_rereads.erase(it);
        } else {
            ++it;
        }
    }
}

void Workers::startTransferWorker(TransferType type)
{
    std::lock_guard lock(m_mutex);
    stopJob(m_transfer);
    auto job = std::make_unique<Job>();
    Job* raw = job.get();
    job->thread = std::thread([this, type, raw] {
        Tracked tracked(*this, LineUser::Transfer);
        DataStore& store = m_ctx.store;
        Link& link = m_ctx.master.link();
        bool keepCopy = false;
        auto before = store.stationPresent;
        if (type == TransferType::OnlineStart) {
            for (int i = 0; i < kStations; ++i)
                keepCopy = keepCopy || !store.stationPresent[i];
        }
        m_ctx.stopRequested = false;
        int result = link.openLinkFromSettings();
        if (result == 0) {
            if (type == TransferType::OnlineStart) {
                m_transfers.scanStations();
                if (m_ctx.stopRequested) {
                    m_ctx.reporter.message(120);
                } else {
                    result = m_transfers.runTransferSequence(type);
                    m_ctx.reporter.refresh(Refresh::TreeAndViews);
                }
            } else {
                result = m_transfers.runTransferSequence(type);
                m_ctx.reporter.refresh(Refresh::Views);
            }
            store.rebuildChannelLists();
            m_ctx.reporter.refresh(Refresh::Views);
            link.close();
            if (keepCopy) {
                std::string changed;
                for (int i = 0; i < kStations; ++i) {
                    if (store.stationPresent[i] != before[i])
                        changed += std::to_string(i + 1) + ",";
                }
                if (!changed.empty())
                    m_ctx.reporter.message(124, "=" + changed);
            }
        }
        m_transferResult = result;
        if (onTransferFinished)
            onTransferFinished(result);
        raw->done = true;
    });
    m_transfer = std::move(job);
}

bool Workers::transferRunning() const
{
    std::lock_guard lock(m_mutex);
    return m_transfer && !m_transfer->done;
}

int Workers::waitTransfer()
{
    std::unique_ptr<Job> job;
    {
        std::lock_guard lock(m_mutex);
        job = std::move(m_transfer);
    }
    if (job)
        job->thread.join();
    return m_transferResult;
}

int Workers::startCommandMonitor(int station, int channel, int reg, bool enabled)
{
    if (!m_ctx.master.link().settings().online || !enabled)
        return -1;
    channel %= 4;
    const auto& column = m_ctx.tables.specials().commandMonitor[channel];
    int row = -1;
    for (int r = 0; r < 4 && row < 0; ++r) {
        if (column[r] != 0 && column[r] == reg)
            row = r;
    }
    if (row < 0)
        return -1;
    std::lock_guard lock(m_mutex);
    reapFinished();
    const std::pair key{4 * (station - 1) + channel, row};
    if (auto it = m_monitors.find(key); it != m_monitors.end())
        return row; // already watching this register
    auto job = std::make_unique<Job>();
    Job* raw = job.get();
    m_ctx.monitorStop = false;
    job->thread = std::thread([this, station, reg, raw] {
        Tracked tracked(*this, LineUser::Monitor);
        ModbusMaster::Background background;
        sleepMs(50);
        int failedInARow = 0;
        while (!m_ctx.monitorStop && m_ctx.master.link().settings().online) {
            std::uint16_t v = 0;
            if (m_ctx.master.readOneRegister(station, reg, &v) == kCommOk) {
                failedInARow = 0;
                if (v == 0)
                    break;
            } else if (++failedInARow >= kSilentMonitorReads) {
                // Nothing answers: the line is lost for every user of it.
                m_ctx.master.link().noteLost("a watched command register does not answer");
            }
            // A failed read waits as a good one does: a vanished port must not become a storm.
            for (int waited = 0; waited < 300 && !m_ctx.monitorStop; waited += 50)
                sleepMs(50);
        }
        raw->done = true;
    });
    m_monitors[key] = std::move(job);
    return row;
}

bool Workers::monitorRunning(int station, int channel, int row) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_monitors.find({4 * (station - 1) + channel % 4, row});
    return it != m_monitors.end() && !it->second->done;
}

void Workers::startStationReread(int station)
{
    std::lock_guard lock(m_mutex);
    reapFinished();
    if (m_rereads.count(station))
        return;
    auto job = std::make_unique<Job>();
    Job* raw = job.get();
    job->thread = std::thread([this, station, raw] {
        Tracked tracked(*this, LineUser::Reread);
        ModbusMaster::Background background;
        // A sequence of its own: an earlier transfer's dead line is not this one's.
        m_ctx.stopRequested = false;
        m_ctx.lineDead = false;
        m_transfers.transferStation(Direction::Read, station - 1, true, true);
        m_transfers.refreshIncomplete(station - 1);
        m_ctx.reporter.refresh(Refresh::TreeAndViews);
        raw->done = true;
    });
    m_rereads[station] = std::move(job);
}

bool Workers::anyRereadRunning() const
{
    std::lock_guard lock(m_mutex);
    for (const auto& [station, job] : m_rereads) {
        if (!job->done)
            return true;
    }
    return false;
}

bool Workers::rereadRunning(int station) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_rereads.find(station);
    return it != m_rereads.end() && !it->second->done;
}

void Workers::stopAllWorkers()
{
    std::lock_guard lock(m_mutex);
    m_ctx.monitorStop = true;
    requestStop();
    m_ctx.master.link().closeAll();
    stopJob(m_transfer);
    for (auto& [key, job] : m_monitors)
        stopJob(job);
    for (auto& [station, job] : m_rereads)
        stopJob(job);
    m_monitors.clear();
    m_rereads.clear();
}

CommandGates commandGates(const Workers& workers, const Link& link)
{
    CommandGates g;
    const bool transfer = workers.transferRunning() || link.usersOf(LineUser::Transfer) > 0;
    const bool reread = workers.anyRereadRunning() || link.usersOf(LineUser::Reread) > 0;
    const bool status = link.usersOf(LineUser::ModuleStatus) > 0;
    g.editStore = !transfer && !reread;
    g.transfers = g.editStore && !status;
    g.moduleStatus = g.transfers;
    g.why = transfer ? "a transfer is running" : reread ? "a station is being read again" : status ? "the module status is being read" : "";
    return g;
}

} // namespace vok

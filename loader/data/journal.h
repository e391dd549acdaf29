#pragma once
// The record of a download in progress, in DATA/ of the working folder: written before the
// first register is written and removed after the last, so that a download that a crash or
// a kill ended is known at the next start of the loader or of vokctl.

#include <string>
#include <vector>

namespace vok {

class DownloadJournal {
public:
    explicit DownloadJournal(std::string workingDir);

    // Before the first write: the stations (1-32) about to be written and the port. Stations
    // of an earlier interrupted download stay in the record. False with a reason when it
    // cannot be written.
    bool begin(const std::vector<int>& stations, const std::string& port, std::string* error = nullptr);
    // After the last write: the stations whose download ran to its end leave the record;
    // the record goes when none is left.
    void finish(const std::vector<int>& completed);

    // The stations an interrupted download left half written, and when it started.
    std::vector<int> pendingStations() const;
    // The warning for the next start; empty when no download was interrupted.
    std::string pendingWarning() const;

    std::string path() const;

private:
    struct Record {
        std::string started;
        std::string port;
        std::vector<int> stations;
    };
    bool read(Record& r) const;
    bool write(const Record& r, std::string* error) const;

    std::string m_dir;
};

// One line of "DATA/DownloadLog.csv" per download: appended and flushed to disk, never
// rewritten.
struct DownloadRecord {
    std::string kind;  // "full" or "changes"
    std::string port;
    std::vector<int> stations;
    std::string file;  // the parameter file the store holds, or "unsaved"
    int written = 0;
    std::string verify; // "verified N", "N differences", "not verified", ...
};
bool appendDownloadRecordLine(const std::string& workingDir, const DownloadRecord& record, std::string* error = nullptr);
std::string downloadLogPath(const std::string& workingDir);

} // namespace vok

#include "journal.h"

#include "fileutil.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>
#include <ctime>
#include <sstream>

namespace vok {

namespace {

std::string now()
{
    const std::time_t t = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&t, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

std::string stationList(const std::vector<int>& stations)
{
    std::string out;
    for (int s : stations)
        out += (out.empty() ? "" : ",") + std::to_string(s);
    return out;
}

} // namespace

DownloadJournal::DownloadJournal(std::string workingDir) : m_dir(joinPath(workingDir, "DATA")) {}

std::string DownloadJournal::path() const
{
    return joinPath(m_dir, "download-in-progress.txt");
}

bool DownloadJournal::read(Record& r) const
{
    auto bytes = readWholeFile(path());
    if (!bytes)
        return false;
    std::istringstream in{std::string(bytes->view())};
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "started")
            r.started = value;
        else if (key == "port")
            r.port = value;
        else if (key == "stations") {
            std::istringstream list(value);
            for (std::string n; std::getline(list, n, ',');) {
                const int s = std::atoi(n.c_str());
                if (s >= 1 && s <= 32)
                    r.stations.push_back(s);
            }
        }
    }
    return true;
}

bool DownloadJournal::write(const Record& r, std::string* error) const
{
    if (!makeDirectories(m_dir)) {
        if (error)
            *error = "cannot create the folder " + m_dir;
        return false;
    }
    const std::string text = "VOK download in progress: the stations below may hold a mix of old and new values\n"
                             "started="
        + r.started + "\nport=" + r.port + "\nstations=" + stationList(r.stations) + "\n";
    // Flushed to disk before the first write goes to a module.
    return replaceFile(path(), text, error) == WriteResult::Ok;
}

bool DownloadJournal::begin(const std::vector<int>& stations, const std::string& port, std::string* error)
{
    Record r;
    read(r);
    r.started = now();
    r.port = port;
    for (int s : stations) {
        if (std::find(r.stations.begin(), r.stations.end(), s) == r.stations.end())
            r.stations.push_back(s);
    }
    std::sort(r.stations.begin(), r.stations.end());
    return write(r, error);
}

void DownloadJournal::finish(const std::vector<int>& completed)
{
    Record r;
    if (!read(r))
        return;
    r.stations.erase(std::remove_if(r.stations.begin(), r.stations.end(),
                                    [&](int s) { return std::find(completed.begin(), completed.end(), s) != completed.end(); }),
                     r.stations.end());
    if (r.stations.empty())
        deleteFile(path());
    else
        write(r, nullptr);
}

std::vector<int> DownloadJournal::pendingStations() const
{
    Record r;
    read(r);
    return r.stations;
}

std::string DownloadJournal::pendingWarning() const
{
    Record r;
    if (!read(r) || r.stations.empty())
        return {};
    return "A download to station" + std::string(r.stations.size() > 1 ? "s " : " ") + stationList(r.stations)
        + (r.port.empty() ? std::string() : " on " + r.port) + (r.started.empty() ? std::string() : ", started " + r.started)
        + ", did not finish: these modules may hold a mix of old and new values. Download to them again.";
}

std::string downloadLogPath(const std::string& workingDir)
{
    return joinPath(joinPath(workingDir, "DATA"), "DownloadLog.csv");
}

bool appendDownloadRecordLine(const std::string& workingDir, const DownloadRecord& r, std::string* error)
{
    const std::string folder = joinPath(workingDir, "DATA");
    if (!makeDirectories(folder)) {
        if (error)
            *error = "cannot create the folder " + folder;
        return false;
    }
    // Fields are kept free of the separator rather than quoted, as in every CSV here.
    auto field = [](std::string v) {
        for (char& c : v) {
            if (c == ',' || c == '\r' || c == '\n')
                c = ';';
        }
        return v;
    };
    std::string user = "unknown";
    if (const passwd* pw = ::getpwuid(::getuid()))
        user = pw->pw_name;
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    std::string stations;
    for (int s : r.stations)
        stations += (stations.empty() ? "" : " ") + std::to_string(s);
    const std::string path = downloadLogPath(workingDir);
    const bool fresh = !fileExists(path);
    std::string line = (fresh ? "time,user,host,port,kind,stations,file,registers written,verify\r\n" : "") + now() + ","
        + field(user) + "," + field(host) + "," + field(r.port) + "," + field(r.kind) + "," + stations + "," + field(r.file)
        + "," + std::to_string(r.written) + "," + field(r.verify) + "\r\n";
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error)
            *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    // One write of the whole line, flushed: a kill never leaves half a line or loses one.
    const bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) && ::fsync(fd) == 0;
    if (!ok && error)
        *error = "cannot write " + path + ": " + std::strerror(errno);
    ::close(fd);
    return ok;
}

} // namespace vok

#include "paramfile.h"

#include "fileutil.h"
#include "store.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vok {

const char* parameterFileExtension(int family)
{
    return family == 1 ? "da2" : family == 2 ? "da3" : "dat";
}

std::string parameterFileFilter(int family)
{
    return std::string("data(*.") + parameterFileExtension(family) + ")";
}

long long loadParameterFile(DataStore& store, const std::string& path, std::string* error, long long* fileSize,
                            bool keepEdited)
{
    int fd = openRegularFile(path, error);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fileSize)
        *fileSize = ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    // Read into a copy first, so that a read error leaves the store as it was.
    std::string image(kParameterFileSize, '\0');
    std::size_t got = 0;
    bool failed = false;
    while (got < kParameterFileSize) {
        ssize_t n = ::read(fd, image.data() + got, kParameterFileSize - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            failed = true;
            break;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (failed) {
        if (error)
            *error = "cannot read " + path + ": " + std::strerror(errno);
        return -2;
    }
    std::memcpy(reinterpret_cast<char*>(store.records()), image.data(), got);
    for (int i = 0; i < kStations; ++i) {
        StationRecord& r = store.record(i);
        store.stationPresent[i] = r.present;
        const bool covered = got >= sizeof(StationRecord) * static_cast<std::size_t>(i + 1);
        const bool marked = std::memcmp(r.reserved1, kIncompleteMarker, sizeof kIncompleteMarker) == 0;
        store.setIncomplete(i, marked || !covered);
    }
    if (!keepEdited)
        store.clearEditedFlags();
    store.clearCommErrors();
    return static_cast<long long>(got);
}

long long saveParameterFile(DataStore& store, const std::string& path, std::string* error)
{
    for (int i = 0; i < kStations; ++i) {
        StationRecord& r = store.record(i);
        r.present = store.stationPresent[i];
        const bool marked = std::memcmp(r.reserved1, kIncompleteMarker, sizeof kIncompleteMarker) == 0;
        if (store.incomplete(i) && r.present)
            std::memcpy(r.reserved1, kIncompleteMarker, sizeof kIncompleteMarker);
        else if (marked)
            std::memset(r.reserved1, 0, sizeof r.reserved1);
    }
    std::string_view image(reinterpret_cast<const char*>(store.records()), kParameterFileSize);
    switch (replaceFile(path, image, error)) {
    case WriteResult::Ok: return static_cast<long long>(kParameterFileSize);
    case WriteResult::CannotCreate: return -1;
    case WriteResult::CannotWrite: break;
    }
    return -2;
}

std::string parameterFileSizeProblem(const std::string& path, long long size)
{
    if (size == static_cast<long long>(kParameterFileSize))
        return {};
    const std::string expected = std::to_string(kParameterFileSize);
    if (size == 0)
        return path + " is empty: it is no parameter file";
    if (size < static_cast<long long>(kParameterFileSize))
        return path + " has " + std::to_string(size) + " bytes, not " + expected
            + ": it was cut short, and the stations past its end are not in it";
    return path + " has " + std::to_string(size) + " bytes, more than the " + expected
        + " of a parameter file: it may be no parameter file";
}

} // namespace vok

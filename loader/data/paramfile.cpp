#include "paramfile.h"

#include "fileutil.h"
#include "store.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

long long loadParameterFile(DataStore& store, const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
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
    if (failed)
        return -2;
    std::memcpy(reinterpret_cast<char*>(store.records()), image.data(), got);
    for (int i = 0; i < kStations; ++i)
        store.stationPresent[i] = store.record(i).present;
    store.clearEditedFlags();
    store.clearCommErrors();
    return static_cast<long long>(got);
}

long long saveParameterFile(DataStore& store, const std::string& path, std::string* error)
{
    for (int i = 0; i < kStations; ++i)
        store.record(i).present = store.stationPresent[i];
    std::string_view image(reinterpret_cast<const char*>(store.records()), kParameterFileSize);
    switch (replaceFile(path, image, error)) {
    case WriteResult::Ok: return static_cast<long long>(kParameterFileSize);
    case WriteResult::CannotCreate: return -1;
    case WriteResult::CannotWrite: break;
    }
    return -2;
}

} // namespace vok

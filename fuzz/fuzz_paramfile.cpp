// Parameter files of full size with random bytes at a random place, cut at a random length:
// every record layout a file can bring, without a 1.6 MB input per run.

#include "paramfile.h"
#include "store.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// In memory where there is a tmpfs: the save flushes to disk, which a disk makes slow.
std::string tempPath(const char* name)
{
    std::string tmpl = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/") + name;
    int fd = ::mkstemp(tmpl.data());
    if (fd >= 0)
        ::close(fd);
    return tmpl;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = tempPath("vokfuzz-param.XXXXXX");
    static const std::string again = tempPath("vokfuzz-again.XXXXXX");
    if (size < 6)
        return 0;
    // Bytes 0-2: where the rest goes; bytes 3-5: how long the file is (all of it above the size).
    const std::size_t at = ((data[0] << 16) | (data[1] << 8) | data[2]) % vok::kParameterFileSize;
    std::size_t length = ((data[3] << 16) | (data[4] << 8) | data[5]);
    length = length >= vok::kParameterFileSize ? vok::kParameterFileSize + (length & 0xFF) : length * 3 / 2;
    std::string image(vok::kParameterFileSize, '\0');
    for (int i = 0; i < vok::kStations; ++i)
        image[sizeof(vok::StationRecord) * static_cast<std::size_t>(i)] = 1; // present
    const std::size_t n = std::min(size - 6, image.size() - at);
    std::memcpy(image.data() + at, data + 6, n);
    image.resize(length, '\0');
    writeFile(path, image);

    static vok::DataStore store;
    long long size_ = 0;
    const long long got = vok::loadParameterFile(store, path, nullptr, &size_);
    if (got != static_cast<long long>(std::min(length, vok::kParameterFileSize)) || size_ != static_cast<long long>(length))
        std::abort();
    store.rebuildChannelLists();
    (void)store.incompleteStations();
    for (int i = 0; i < vok::kStations; ++i)
        (void)store.modelClass(i);
    // What is saved reads back as it was: presence, records and incomplete marks.
    if (vok::saveParameterFile(store, again) != static_cast<long long>(vok::kParameterFileSize))
        std::abort();
    static vok::DataStore back;
    vok::loadParameterFile(back, again);
    if (std::memcmp(back.records(), store.records(), vok::kParameterFileSize) != 0 || back.stationPresent != store.stationPresent)
        std::abort();
    for (int i = 0; i < vok::kStations; ++i) {
        if (store.stationPresent[i] && back.incomplete(i) != store.incomplete(i))
            std::abort();
    }
    return 0;
}

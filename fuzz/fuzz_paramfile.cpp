// Random files of any size opened as parameter files.

#include "paramfile.h"
#include "store.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = [] {
        char tmpl[] = "/tmp/vokfuzz-param.XXXXXX";
        int fd = ::mkstemp(tmpl);
        if (fd >= 0)
            ::close(fd);
        return std::string(tmpl);
    }();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    static vok::DataStore store;
    long long n = vok::loadParameterFile(store, path);
    if (n != static_cast<long long>(std::min(size, vok::kParameterFileSize)))
        std::abort();
    store.rebuildChannelLists();
    return 0;
}

#pragma once
// Stations defined in a store by hand, as the station setup or a file would leave them.

#include "store.h"

#include <cstddef>
#include <string_view>

namespace vok::test {

inline void defineStation(vok::DataStore& store, int station, std::string_view code)
{
    store.stationPresent[static_cast<std::size_t>(station - 1)] = 1;
    for (std::size_t i = 0; i < 13 && i < code.size(); ++i)
        store.record(station - 1).identification[i] = static_cast<unsigned char>(code[i]);
}

} // namespace vok::test

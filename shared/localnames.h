#pragma once
// Names of local sockets that belong to one user, shared by the loader and Trend.

#include <string>
#include <unistd.h>

namespace vok {

inline std::string perUserName(const std::string& base)
{
    return base + "-" + std::to_string(::getuid());
}

// Trend listens on a socket named after its window title; the loader asks it to close there.
inline constexpr const char* kTrendTitle = "TrendDisplay - Trend";

} // namespace vok

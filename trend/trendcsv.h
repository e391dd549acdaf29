#pragma once
// A recorded "DataTrend.csv" (three header lines, then a time and eight values a line) read
// back as trend data, for looking at a log after the fact.

#include "trendplot.h"

#include <string>
#include <string_view>

namespace trendplot {

// The pens come from the headers, one sample from each line (an empty or non-numeric cell is
// a gap), the scales from the values' range and the decimals from the values' texts. On a
// malformed line the data read so far are kept and `error` names the line; false then.
bool readTrendLog(std::string_view text, TrendData& out, std::string* error);

} // namespace trendplot

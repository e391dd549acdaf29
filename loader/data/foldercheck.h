#pragma once
// The consistency check of a language folder: everything the programs rely on is there and
// fits together. Used by the tests on the sample folders and by `vokctl check`.

#include <string>
#include <vector>

namespace vok {

// The text ids that the programs show or use as keys.
const std::vector<int>& usedTextIds();

// One line per problem found; empty when the folder is consistent.
std::vector<std::string> checkLanguageFolder(const std::string& folder);

} // namespace vok

#pragma once
// The working folder: the folder that holds file/languageN/ and DATA/, which every relative
// path of the programs starts from. Run where a file/ folder is, it is that folder; started
// from a desktop menu, it is a folder of the user's own, made at the first start from the
// installed sample language folders. A folder that is there is never written over.

#include <string>

namespace vok {

struct WorkingFolder {
    std::string path;
    std::string note;  // said once when the folder was made
    std::string error; // why there is none
};

// `current` when it holds file/; else `userFolder`, given file/ (a copy of `samples`, a folder
// of language folders) and DATA/ when it has no language folders yet. The copy is made beside
// its place and renamed into it, so that a failure leaves nothing half-copied and two first
// starts at once both end with one whole copy. `forWriting`: a read-only folder is an error.
WorkingFolder chooseWorkingFolder(const std::string& current, const std::string& userFolder, const std::string& samples,
                                  bool forWriting = true);

// $XDG_DATA_HOME/vok-tools, else ~/.local/share/vok-tools.
std::string userWorkingFolder();
// The folder of the running program (from /proc/self/exe).
std::string executableFolder();
// The sample language folders installed with a program: <its folder>/../share/vok-tools/file;
// empty when there are none (a program run from its build folder).
std::string installedSamples(const std::string& executableFolder);

} // namespace vok

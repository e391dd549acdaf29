#include "workfolder.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vok {

namespace {

bool isFolder(const fs::path& p)
{
    std::error_code ec;
    return fs::is_directory(p, ec);
}

// A file/ folder that holds at least one language folder.
bool holdsLanguageFolders(const fs::path& p)
{
    std::error_code ec;
    for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().rfind("language", 0) == 0 && isFolder(it->path()))
            return true;
    }
    return false;
}

// Copies left by a first start that was killed: their program is gone.
void removeStalePartials(const fs::path& folder)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(".file.partial-", 0) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + 14, nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            fs::remove_all(it->path(), ignored);
        }
    }
}

} // namespace

std::string userWorkingFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/')
        return (fs::path(data) / "vok-tools").string();
    const char* home = std::getenv("HOME");
    return (fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "vok-tools").string();
}

std::string executableFolder()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

std::string installedSamples(const std::string& executableFolder)
{
    const fs::path samples = fs::path(executableFolder) / ".." / "share" / "vok-tools" / "file";
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(samples, ec);
    return !ec && isFolder(canonical) ? canonical.string() : std::string();
}

WorkingFolder chooseWorkingFolder(const std::string& current, const std::string& userFolder, const std::string& samples,
                                  bool forWriting)
{
    WorkingFolder out;
    if (isFolder(fs::path(current) / "file")) {
        out.path = current;
        if (forWriting && ::access(current.c_str(), W_OK) != 0)
            out.error = "the working folder " + current + " is read-only";
        return out;
    }
    out.path = userFolder;
    const fs::path folder(userFolder);
    std::error_code ec;
    if (!holdsLanguageFolders(folder / "file")) {
        if (samples.empty() || !isFolder(samples)) {
            out.error = "there are no language folders in " + (folder / "file").string() + " and none installed to copy there";
            return out;
        }
        fs::create_directories(folder, ec);
        if (!ec)
            removeStalePartials(folder);
        static std::atomic<int> serial{0};
        const fs::path partial = folder / (".file.partial-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
        if (!ec)
            fs::copy(samples, partial, fs::copy_options::recursive, ec);
        // An empty file/ is replaced by the rename; one with language folders (another
        // program's first start that finished first) is kept and this copy dropped.
        if (!ec)
            fs::rename(partial, folder / "file", ec);
        const bool madeElsewhere = ec && holdsLanguageFolders(folder / "file");
        if (ec) {
            std::error_code ignored;
            fs::remove_all(partial, ignored);
        }
        if (ec && !madeElsewhere) {
            out.error = "the working folder " + userFolder + " cannot be made: " + ec.message();
            return out;
        }
        ec.clear();
        if (!madeElsewhere)
            out.note = "Working folder " + userFolder + " made with the sample language folders";
    }
    fs::create_directories(folder / "DATA", ec);
    if (!forWriting)
        return out;
    if (ec)
        out.error = "the working folder " + userFolder + " cannot be written: " + ec.message();
    else if (::access(userFolder.c_str(), W_OK) != 0 || ::access((folder / "DATA").c_str(), W_OK) != 0)
        out.error = "the working folder " + userFolder + " is read-only";
    return out;
}

} // namespace vok

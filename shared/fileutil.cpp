#include "fileutil.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vok {

namespace {

std::string errnoText(const char* what, const std::string& path)
{
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Temporary files of replaceFile that a killed writer left behind: ".<name>.XXXXXX" beside
// the file, untouched for a while (a save in progress is seconds old at most).
void removeStaleTemporaries(const std::filesystem::path& folder, const std::string& name)
{
    std::error_code ec;
    const std::string prefix = "." + name + ".";
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string f = entry.path().filename().string();
        if (f.size() != prefix.size() + 6 || f.compare(0, prefix.size(), prefix) != 0 || !entry.is_regular_file(ec))
            continue;
        const auto age = now - entry.last_write_time(ec);
        if (!ec && age > std::chrono::seconds(30))
            std::filesystem::remove(entry.path(), ec);
    }
}

} // namespace

int openRegularFile(const std::string& path, std::string* error)
{
    // Non-blocking, so that a FIFO or a device named like a data file cannot hang the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (error)
            *error = errnoText("cannot open", path);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (error)
            *error = path + " is not a regular file";
        errno = EINVAL;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::optional<FileBytes> readWholeFile(const std::string& path)
{
    int fd = openRegularFile(path);
    if (fd < 0)
        return std::nullopt;
    std::string bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return FileBytes(std::move(bytes));
}

long long readAt(const std::string& path, std::uint64_t offset, void* buffer, std::size_t count)
{
    int fd = openRegularFile(path);
    if (fd < 0)
        return -1;
    std::size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        ssize_t n = ::pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return static_cast<long long>(done);
}

AppendResult appendToFile(const std::string& path, std::string_view text)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            return AppendResult::CannotOpen;
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return AppendResult::CannotCreate;
    }
    writeAll(fd, text.data(), text.size());
    ::close(fd);
    return AppendResult::Ok;
}

bool appendWhole(const std::string& path, std::string_view text, std::string* error)
{
    auto fail = [&](const char* what) {
        if (error)
            *error = std::string(what) + " " + path + ": " + std::strerror(errno);
        return false;
    };
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail("cannot open");
    const off_t end = ::lseek(fd, 0, SEEK_END);
    const bool ok = end >= 0 && writeAll(fd, text.data(), text.size());
    if (!ok) {
        const int saved = errno;
        if (end >= 0 && ::ftruncate(fd, end) != 0) {
            // Nothing more to do: the reason of the write is the one to say.
        }
        ::close(fd);
        errno = saved;
        return fail("cannot write");
    }
    if (::close(fd) != 0)
        return fail("cannot write");
    return true;
}

std::optional<std::string> renameAside(const std::string& path, const std::string& target, std::string* error)
{
    const std::string::size_type dot = target.rfind('.');
    const std::string::size_type slash = target.rfind('/');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string stem = hasExt ? target.substr(0, dot) : target;
    const std::string ext = hasExt ? target.substr(dot) : std::string();
    for (int n = 1; n < 1000; ++n) {
        const std::string name = n == 1 ? target : stem + "-" + std::to_string(n) + ext;
        // A hard link never replaces an existing name; the old name goes once it is linked.
        if (::link(path.c_str(), name.c_str()) == 0) {
            ::unlink(path.c_str());
            return name;
        }
        if (errno != EEXIST) {
            // A file system without hard links: rename, after checking the name is free.
            if (errno == EPERM || errno == EOPNOTSUPP || errno == EXDEV) {
                if (fileExists(name))
                    continue;
                if (::rename(path.c_str(), name.c_str()) == 0)
                    return name;
            }
            if (error)
                *error = "cannot rename " + path + " to " + name + ": " + std::strerror(errno);
            return std::nullopt;
        }
    }
    if (error)
        *error = "no free name beside " + target;
    return std::nullopt;
}

std::optional<std::string_view> readLineCrLf(std::string_view text, std::size_t& pos)
{
    if (pos > text.size())
        return std::nullopt;
    std::size_t end = text.find("\r\n", pos);
    if (end == std::string_view::npos)
        return std::nullopt;
    std::string_view line = text.substr(pos, end + 2 - pos);
    pos = end + 2;
    return line;
}

bool deleteFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

WriteResult replaceFile(const std::string& pathIn, std::string_view bytes, std::string* error)
{
    // A link is followed, so that the file it names is replaced and the link stays; anything
    // but a regular file (a device, a folder) is never replaced.
    std::string path = pathIn;
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        auto resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec)
            path = resolved.string();
    }
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        if (error)
            *error = path + " is not a regular file";
        return WriteResult::CannotWrite;
    }
    std::filesystem::path target(path);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    removeStaleTemporaries(folder, target.filename().string());
    std::string tmpl = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = errnoText("cannot create a temporary file beside", path);
        return WriteResult::CannotCreate;
    }
    // Keep the permissions of the file being replaced.
    struct stat st {};
    ::fchmod(fd, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    bool ok = writeAll(fd, bytes.data(), bytes.size());
    if (!ok && error)
        *error = errnoText("cannot write", tmpl);
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        if (error)
            *error = errnoText("cannot flush", tmpl);
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        if (error)
            *error = errnoText("cannot close", tmpl);
    }
    if (ok && ::rename(tmpl.c_str(), path.c_str()) != 0) {
        ok = false;
        if (error)
            *error = errnoText("cannot replace", path);
    }
    if (!ok)
        ::unlink(tmpl.c_str());
    return ok ? WriteResult::Ok : WriteResult::CannotWrite;
}

bool copyFile(const std::string& from, const std::string& to, std::string* error)
{
    auto bytes = readWholeFile(from);
    if (!bytes) {
        if (error)
            *error = "cannot read " + from;
        return false;
    }
    return replaceFile(to, bytes->view(), error) == WriteResult::Ok;
}

bool fileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool makeDirectories(const std::string& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

std::string joinPath(std::string_view a, std::string_view b)
{
    if (a.empty())
        return std::string(b);
    std::string out(a);
    if (out.back() != '/')
        out.push_back('/');
    out.append(b);
    return out;
}

} // namespace vok

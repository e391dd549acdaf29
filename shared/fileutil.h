#pragma once
// Small file helpers shared by the loader, Trend and the tools. Data files are kept as raw
// bytes; nothing here decodes text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

// Whole contents of a file, followed by one zero byte that is not part of size().
class FileBytes {
public:
    FileBytes() : m_bytes(1, '\0') {}
    explicit FileBytes(std::string bytes) : m_bytes(std::move(bytes)) { m_bytes.push_back('\0'); }

    const char* data() const { return m_bytes.data(); }
    std::size_t size() const { return m_bytes.size() - 1; }
    std::string_view view() const { return {m_bytes.data(), size()}; }

private:
    std::string m_bytes;
};

// Opens a regular file for reading; -1 for anything else (a FIFO, a device, a folder) or a
// file that cannot be opened, with the reason in `error`.
int openRegularFile(const std::string& path, std::string* error = nullptr);

// Reads a whole regular file; nothing when it cannot be opened or read.
std::optional<FileBytes> readWholeFile(const std::string& path);

// Reads up to `count` bytes at `offset`; returns the number read, or -1 when the file cannot
// be opened.
long long readAt(const std::string& path, std::uint64_t offset, void* buffer, std::size_t count);

// Appends text at the end of a file, creating it when missing.
// 0 success, -2 the file exists but cannot be opened, -1 it cannot be created.
enum class AppendResult : int { Ok = 0, CannotCreate = -1, CannotOpen = -2 };
AppendResult appendToFile(const std::string& path, std::string_view text);

// Appends a whole line or nothing: a write that fails part-way is cut back to where the
// file ended, so the next line never glues onto a torn one. False with the reason.
bool appendWhole(const std::string& path, std::string_view text, std::string* error = nullptr);

// Renames `path` to `target`, or to "<stem>-2<ext>", "-3" ... when that is taken; never
// replaces a file. The name used, or nothing with the reason.
std::optional<std::string> renameAside(const std::string& path, const std::string& target, std::string* error = nullptr);

// The line that starts at `pos`, up to and including its CR LF, and moves `pos` behind it.
// Nothing when no CR LF follows (pos stays).
std::optional<std::string_view> readLineCrLf(std::string_view text, std::size_t& pos);

// Removes a file; true when it is gone afterwards.
bool deleteFile(const std::string& path);

// Replaces `path` with `bytes` so that the old file survives any failure: the bytes go to a
// temporary file in the same folder, are flushed to disk, and the temporary file is renamed
// over the old one. On failure `error` says why and the old file is untouched.
enum class WriteResult : int { Ok = 0, CannotCreate = -1, CannotWrite = -2 };
WriteResult replaceFile(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// Copies a file through replaceFile.
bool copyFile(const std::string& from, const std::string& to, std::string* error = nullptr);

bool fileExists(const std::string& path);

// Creates a folder and its parents; true when it exists afterwards.
bool makeDirectories(const std::string& path);

// `a` + "/" + `b`, without doubling the separator.
std::string joinPath(std::string_view a, std::string_view b);

} // namespace vok

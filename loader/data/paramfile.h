#pragma once
// Parameter files: the 32 station records as they are in memory, 1602304 bytes, no header.

#include <string>

namespace vok {

class DataStore;

// "dat", "da2" or "da3" by module family.
const char* parameterFileExtension(int family);
// The open and save dialogs' filter, for example "data(*.dat)".
std::string parameterFileFilter(int family);

// Reads up to 1602304 bytes over the records (a shorter file leaves the rest as it was),
// takes the presence list from the records, clears the edited and error flags, and marks
// incomplete the stations the file says are, and the present ones whose record it does not
// cover whole. Returns the bytes read, -1 when the file cannot be opened (or is no regular
// file), -2 when reading fails; `error` says why. `fileSize` receives the file's own size
// (larger files are read only up to a parameter file's size).
// `keepEdited` keeps the edited flags the file holds (the changes made before it was saved),
// for a download of the changes.
long long loadParameterFile(DataStore& store, const std::string& path, std::string* error = nullptr,
                            long long* fileSize = nullptr, bool keepEdited = false);

// Writes the presence list and the incomplete marks into the records and the image to
// `path`, replacing an existing file only once the new one is complete. Returns the bytes
// written, -1 when the file cannot be created, -2 when writing fails.
long long saveParameterFile(DataStore& store, const std::string& path, std::string* error = nullptr);

// What a file of another size than a parameter file's means, in English; empty for the
// right size.
std::string parameterFileSizeProblem(const std::string& path, long long size);

} // namespace vok

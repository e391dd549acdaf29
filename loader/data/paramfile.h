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
// takes the presence list from the records, clears the edited and error flags. Returns the
// bytes read, -1 when the file cannot be opened, -2 when reading fails.
long long loadParameterFile(DataStore& store, const std::string& path);

// Writes the presence list into the records and the image to `path`, replacing an existing
// file only once the new one is complete. Returns the bytes written, -1 when the file cannot
// be created, -2 when writing fails.
long long saveParameterFile(DataStore& store, const std::string& path, std::string* error = nullptr);

} // namespace vok

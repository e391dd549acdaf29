#pragma once
// The communication settings block, the application profile and the language folder.

#include "inifile.h"

#include <atomic>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

inline constexpr const char* kProfileSection = "VOK_Support";
inline constexpr const char* kPortsSection = "Ports";
inline constexpr int kLanguageFolders = 5;

// A flag read by worker threads and written by the GUI thread; copyable with the block.
class SharedFlag {
public:
    SharedFlag(int v = 0) : m_value(v) {}
    SharedFlag(const SharedFlag& o) : m_value(o.get()) {}
    SharedFlag& operator=(const SharedFlag& o) { m_value.store(o.get()); return *this; }
    SharedFlag& operator=(int v) { m_value.store(v); return *this; }
    int get() const { return m_value.load(); }
    operator int() const { return get(); }

private:
    std::atomic<int> m_value;
};

struct CommSettings {
    // The eight values read from and written to the profile.
    int comNo = 1;      // Com_no, 1-based
    int bps = 3;        // Bps, baud-rate index
    int parity = 0;     // Party: 0 none, 1 odd, 2 even
    int byteLength = 1; // Byte: 0 seven bits, 1 eight bits
    int stopBits = 0;   // Stop: 0 one, 1 one and a half, 2 two
    int cmdMode = 0;    // Cmd_mode: 0 normal, 1 special ('Z' gateway frames)
    int language = 0;   // Language: 0-4 for language1-language5
    int debugMode = 0;  // Debug_mode: not 0 writes DATA/TIMELOG.txt

    int onOffFlag = 0;       // OnOff_flg, read once at start-up, never written
    SharedFlag online = 0;   // 1 online, 0 offline
    int languageChanges = 0; // language changes since the program started
    int startupMode = 0;     // 0 new station set, 1 from file, 2 online start

    std::string languageFolder = "language1";
    std::map<int, std::string> portDevices; // Ports: COMn -> device path
    std::string deviceOverride;             // a device path that replaces COMn (command line)
    std::string workingDir = ".";           // holds file/languageN/ and DATA/
};

// The application profile: $VOK_PROFILE, else $XDG_CONFIG_HOME/vok-loader/vokloader.ini.
class Profile {
public:
    static std::string defaultPath();

    explicit Profile(std::string path = defaultPath()) : m_path(std::move(path)) {}
    const std::string& path() const { return m_path; }

    // Reads the file again; a missing file is an empty profile.
    bool reload(std::string* error = nullptr);
    // Writes the file atomically, creating its folder when needed.
    bool save(std::string* error = nullptr);

    IniFile& ini() { return m_ini; }
    const IniFile& ini() const { return m_ini; }

private:
    std::string m_path;
    IniFile m_ini;
};

// Reads the eight keys with their defaults, OnOff_flg and the Ports section, and sets the
// language folder name. A value outside its range is replaced by what it amounts to (a baud
// index outside 0-9 is 9600 baud, an unknown parity none, ...); `warnings` says which.
void loadCommSettings(const Profile& profile, CommSettings& settings, std::vector<std::string>* warnings = nullptr);
// Writes the eight keys; other keys and sections stay. False (old file kept) on failure.
bool saveCommSettings(Profile& profile, const CommSettings& settings, std::string* error = nullptr);

std::string languageFolderName(int languageIndex);
// workingDir/file/<language folder>/fileName
std::string definitionPath(const CommSettings& settings, std::string_view fileName);
std::string languageFolderPath(const CommSettings& settings);
// workingDir/DATA/fileName
std::string dataPath(const CommSettings& settings, std::string_view fileName);

// The device that COMn names: the Ports key, else /dev/ttyUSB(n-1); empty outside COM1-COM9.
std::string comDevicePath(const CommSettings& settings, int comNo);

// Display names of the language folders from "language.csv" (first line, at most 256 bytes,
// without its CR LF), in order, up to the first folder without a readable file.
std::vector<std::string> languageList(const std::string& workingDir);

} // namespace vok

#include "settings.h"

#include "fileutil.h"

#include <cstdlib>
#include <filesystem>

namespace vok {

std::string Profile::defaultPath()
{
    if (const char* p = std::getenv("VOK_PROFILE"); p && *p)
        return p;
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        base = x;
    else if (const char* h = std::getenv("HOME"); h && *h)
        base = std::string(h) + "/.config";
    else
        base = ".";
    return base + "/vok-loader/vokloader.ini";
}

bool Profile::reload(std::string* error)
{
    if (!m_ini.load(m_path)) {
        if (error)
            *error = "cannot read the profile " + m_path;
        return false;
    }
    return true;
}

bool Profile::save(std::string* error)
{
    std::filesystem::path folder = std::filesystem::path(m_path).parent_path();
    if (!folder.empty() && !makeDirectories(folder.string())) {
        if (error)
            *error = "cannot create the folder " + folder.string();
        return false;
    }
    return m_ini.save(m_path, error);
}

namespace {

struct KeyRef {
    const char* key;
    int CommSettings::*field;
    int defaultValue;
};

constexpr KeyRef kKeys[] = {
    {"Com_no", &CommSettings::comNo, 1},      {"Bps", &CommSettings::bps, 3},
    {"Party", &CommSettings::parity, 0},      {"Byte", &CommSettings::byteLength, 1},
    {"Stop", &CommSettings::stopBits, 0},     {"Cmd_mode", &CommSettings::cmdMode, 0},
    {"Language", &CommSettings::language, 0}, {"Debug_mode", &CommSettings::debugMode, 0},
};

// The values a key can take, and what a value outside them amounts to where it is used.
struct KeyRange {
    const char* key;
    int lowest, highest;
    int amountsTo;
    const char* meaning;
};

constexpr KeyRange kRanges[] = {
    {"Com_no", 1, 9, -1, "no port can be opened"},
    {"Bps", 0, 9, 2, "9600 baud"},
    {"Party", 0, 2, 0, "no parity"},
    {"Byte", 0, 1, 1, "8 data bits"},
    {"Stop", 0, 2, 0, "one stop bit"},
    {"Cmd_mode", 0, 1, 0, "normal frames"},
    {"Language", 0, kLanguageFolders - 1, 0, "language1"},
};

} // namespace

void loadCommSettings(const Profile& profile, CommSettings& settings, std::vector<std::string>* warnings)
{
    const IniFile& ini = profile.ini();
    for (const KeyRef& k : kKeys)
        settings.*k.field = ini.intValue(kProfileSection, k.key, k.defaultValue);
    for (const KeyRange& r : kRanges) {
        for (const KeyRef& k : kKeys) {
            int& v = settings.*k.field;
            if (std::string_view(k.key) != r.key || (v >= r.lowest && v <= r.highest))
                continue;
            if (warnings)
                warnings->push_back("The profile's " + std::string(r.key) + "=" + std::to_string(v) + " is outside "
                                    + std::to_string(r.lowest) + "-" + std::to_string(r.highest) + ": " + r.meaning
                                    + (r.amountsTo < 0 ? "." : " is used."));
            if (r.amountsTo >= 0)
                v = r.amountsTo;
        }
    }
    settings.onOffFlag = ini.intValue(kProfileSection, "OnOff_flg", 0);
    settings.languageFolder = languageFolderName(settings.language);
    settings.portDevices.clear();
    for (int n = 1; n <= 9; ++n) {
        if (auto dev = ini.value(kPortsSection, "COM" + std::to_string(n)); dev && !dev->empty())
            settings.portDevices[n] = *dev;
    }
}

bool saveCommSettings(Profile& profile, const CommSettings& settings, std::string* error)
{
    // Read the file again so that what another program wrote meanwhile is kept.
    profile.reload();
    for (const KeyRef& k : kKeys)
        profile.ini().setInt(kProfileSection, k.key, settings.*k.field);
    // The devices chosen for the COM ports; the others stay as the file has them.
    for (const auto& [n, path] : settings.portDevices) {
        if (n >= 1 && n <= 9)
            profile.ini().setValue("Ports", "COM" + std::to_string(n), path);
    }
    return profile.save(error);
}

std::string languageFolderName(int languageIndex)
{
    // An index outside the five folders keeps its number; such a folder simply has no files.
    return "language" + std::to_string(languageIndex + 1);
}

std::string languageFolderPath(const CommSettings& settings)
{
    return joinPath(joinPath(settings.workingDir, "file"), settings.languageFolder);
}

std::string definitionPath(const CommSettings& settings, std::string_view fileName)
{
    return joinPath(languageFolderPath(settings), fileName);
}

std::string dataPath(const CommSettings& settings, std::string_view fileName)
{
    return joinPath(joinPath(settings.workingDir, "DATA"), fileName);
}

std::string comDevicePath(const CommSettings& settings, int comNo)
{
    if (comNo < 1 || comNo > 9)
        return {};
    if (auto it = settings.portDevices.find(comNo); it != settings.portDevices.end())
        return it->second;
    return "/dev/ttyUSB" + std::to_string(comNo - 1);
}

std::vector<std::string> languageList(const std::string& workingDir)
{
    std::vector<std::string> names;
    for (int i = 0; i < kLanguageFolders; ++i) {
        std::string path = joinPath(joinPath(joinPath(workingDir, "file"), languageFolderName(i)), "language.csv");
        char buffer[256];
        long long n = readAt(path, 0, buffer, sizeof buffer);
        if (n < 0)
            break;
        std::string_view line(buffer, static_cast<std::size_t>(n));
        if (std::size_t crlf = line.find("\r\n"); crlf != std::string_view::npos)
            line = line.substr(0, crlf);
        else if (std::size_t lf = line.find('\n'); lf != std::string_view::npos)
            line = line.substr(0, lf);
        names.emplace_back(line);
    }
    return names;
}

} // namespace vok

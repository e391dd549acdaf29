#include "linefile.h"

#include "fileutil.h"

#include <filesystem>
#include <sstream>

namespace vok::sim {

namespace {

bool toInt(const std::string& s, int& out)
{
    try {
        std::size_t used = 0;
        out = std::stoi(s, &used);
        return used == s.size();
    } catch (...) {
        return false;
    }
}

std::string resolve(const std::string& base, const std::string& path)
{
    if (path.empty() || path[0] == '/' || base.empty())
        return path;
    return (std::filesystem::path(base) / path).lexically_normal().string();
}

} // namespace

bool applyDirective(const std::string& line, const std::string& base, LineDescription& out, std::string* error)
{
    std::istringstream in(line);
    std::string word, a, b, c;
    in >> word;
    if (word.empty() || word[0] == '#')
        return true;
    in >> a >> b;
    std::getline(in, c);
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    int n = 0;
    if (word == "family") {
        if (!toInt(a, n) || n < 0 || n > 2)
            return fail("family must be 0, 1 or 2");
        out.config.family = n;
    } else if (word == "language") {
        out.config.languageFolder = resolve(base, a);
    } else if (word == "params") {
        out.config.paramsFile = resolve(base, a);
    } else if (word == "baud") {
        if (!toInt(a, n) || n < 300 || n > 4000000)
            return fail("baud must be a rate such as 19200");
        out.timing.baud = n;
    } else if (word == "parity") {
        if (a == "none")
            out.timing.parity = 0;
        else if (a == "odd")
            out.timing.parity = 1;
        else if (a == "even")
            out.timing.parity = 2;
        else
            return fail("parity must be none, odd or even");
    } else if (word == "databits") {
        if (!toInt(a, n) || (n != 7 && n != 8))
            return fail("databits must be 7 or 8");
        out.timing.dataBits = n;
    } else if (word == "stopbits") {
        if (a == "1.5")
            n = 2;
        else if (!toInt(a, n) || (n != 1 && n != 2))
            return fail("stopbits must be 1, 1.5 or 2");
        out.timing.stopBits = n;
    } else if (word == "framing") {
        if (a != "plain" && a != "z")
            return fail("framing must be plain or z");
        out.zFraming = a == "z";
    } else if (word == "response-delay-ms") {
        if (!toInt(a, n) || n < 0 || n > 10000)
            return fail("response-delay-ms must be 0-10000");
        out.timing.responseDelayMs = n;
    } else if (word == "command-reset-ms") {
        if (!toInt(a, n) || n < 0)
            return fail("command-reset-ms must be 0 or more");
        out.config.commandResetMs = n;
    } else if (word == "station") {
        if (!toInt(a, n) || n < 1 || n > 32)
            return fail("station number must be 1-32");
        if (b.size() != 13 || b.compare(0, 3, "VOK") != 0)
            return fail("a module code has 13 characters and starts with VOK");
        out.config.stations[n] = b;
    } else if (word == "module") {
        if (!toInt(a, n) || (n != 64 && n != 128))
            return fail("module address must be 64 or 128");
        if (b.size() != 13)
            return fail("a module code has 13 characters");
        out.config.modules[n] = b;
    } else if (word == "extra") {
        if (!toInt(a, n) || n < 0 || n > 32)
            return fail("extra must be a station number or 0");
        out.config.extraStation = n;
    } else if (word == "fault") {
        int station = 0;
        if (a != "*" && (!toInt(a, station) || station < 1 || station > 32))
            return fail("fault needs a station 1-32 or *");
        std::string arg = c;
        arg.erase(0, arg.find_first_not_of(' '));
        return applyFault(out.config.faults[station], b, arg, true, error);
    } else {
        return fail("unknown directive \"" + word + "\"");
    }
    return true;
}

bool parseLineText(const std::string& text, const std::string& base, LineDescription& out, std::string* error)
{
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string why;
        if (!applyDirective(line, base, out, &why)) {
            if (error)
                *error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    return true;
}

bool loadLineFile(const std::string& path, LineDescription& out, std::string* error)
{
    auto bytes = readWholeFile(path);
    if (!bytes) {
        if (error)
            *error = "cannot read " + path;
        return false;
    }
    std::string why;
    if (!parseLineText(std::string(bytes->view()), std::filesystem::path(path).parent_path().string(), out, &why)) {
        if (error)
            *error = path + ": " + why;
        return false;
    }
    return true;
}

} // namespace vok::sim

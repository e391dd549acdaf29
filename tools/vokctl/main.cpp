// vokctl: the loader's core for scripts and batch work.

#include "session.h"

#include <map>

int main(int argc, char** argv)
{
    using namespace ctl;
    Options options = parseOptions(argc, argv);
    if (options.args.empty())
        usageError("no command");
    const std::string command = options.args[0];
    static const std::map<std::string, int (*)(Session&)> commands = {
        {"scan", cmdScan}, {"upload", cmdUpload}, {"download", cmdDownload}, {"read", cmdRead},
        {"write", cmdWrite}, {"info", cmdInfo}, {"diff", cmdDiff}, {"check", cmdCheck}, {"history", cmdHistory},
        {"log", cmdLog}, {"list", cmdList}, {"ports", cmdPorts},
        {"copy-channel", cmdCopyChannel}, {"copy-station", cmdCopyStation},
    };
    auto it = commands.find(command);
    if (it == commands.end())
        usageError("unknown command " + command);
    Session s(std::move(options));
    return it->second(s);
}

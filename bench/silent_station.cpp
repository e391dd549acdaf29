// How long a transfer to a station that never answers takes: two attempts, each ending at
// the byte time-out of the first missing byte.

#include "modbus.h"
#include "reporter.h"

#include <chrono>
#include <cstdio>
#include <pty.h>
#include <unistd.h>

int main()
{
    int ptyMaster = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&ptyMaster, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    ::close(slave);
    vok::CommSettings settings;
    settings.deviceOverride = name;
    vok::NullReporter reporter;
    vok::Link link(settings, reporter);
    if (link.openLinkFromSettings() != 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", name, link.lastError().c_str());
        return 1;
    }
    vok::ModbusMaster master(link);
    for (int cmdMode : {0, 1}) {
        settings.cmdMode = cmdMode;
        const int runs = 5;
        double total = 0;
        int rc = 0;
        for (int i = 0; i < runs; ++i) {
            std::uint16_t values[16];
            auto t0 = std::chrono::steady_clock::now();
            rc = master.readRegisters(link.linkHandle(), 5, 32, values, 40001);
            total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        }
        std::printf("%s mode, silent station, 16 registers: result %d, %.1f ms per transfer (mean of %d)\n",
                    cmdMode ? "special" : "normal", rc, total / runs, runs);
    }
    link.close();
    ::close(ptyMaster);
    return 0;
}

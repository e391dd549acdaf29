// voksim: a simulated VOK line behind a pseudo-terminal or on a serial device.

#include "control.h"
#include "linefile.h"
#include "serialport.h"
#include "slaveserver.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace vok::sim;

namespace {

const char* kUsage = R"(usage: voksim [options] [LINE-FILE]
       voksim --tell CONTROL-SOCKET COMMAND...

Serves a simulated VOK line: the modules of LINE-FILE (see sample/lines), answering Modbus RTU
or 'Z' gateway frames at the line's baud rate. By default it opens a new pseudo-terminal and
prints its path; point the loader at it with the profile's [Ports] section (COM1=PATH) or with
vokctl --device PATH.

options (each overrides the line file):
  --link PATH           keep a symbolic link to the pseudo-terminal at PATH
  --device PATH         serve a real serial device instead of a pseudo-terminal
  --language DIR        the language folder whose definitions and defaults the modules use
  --baud N  --parity none|odd|even  --databits 7|8  --stopbits 1|2
  --framing plain|z     plain Modbus RTU, or the 'Z' gateway frame
  --response-delay MS   extra time before each answer
  --station N=CODE      a module (repeatable)
  --fault N:KIND[=ARG]  a fault of station N, or *:KIND for every station (repeatable)
  --control PATH        a control socket for faults and registers while running
  --log FILE            frames as hex with time stamps ("-" for standard output)
  --help  --version
)";

volatile std::sig_atomic_t g_stop = 0;
SlaveServer* g_server = nullptr;

void onSignal(int)
{
    g_stop = 1;
    if (g_server)
        g_server->stop();
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "voksim: %s\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--tell") {
        if (args.size() < 3)
            return fail("--tell CONTROL-SOCKET COMMAND...");
        std::string command;
        for (std::size_t i = 2; i < args.size(); ++i)
            command += (i > 2 ? " " : "") + args[i];
        std::string reply;
        if (!sendControl(args[1], command, reply))
            return fail("cannot reach the simulator at " + args[1]);
        std::printf("%s\n", reply.c_str());
        return reply.rfind("ok", 0) == 0 ? 0 : 1;
    }

    LineDescription line;
    std::string linkPath, devicePath, controlPath, logPath;
    std::vector<std::string> directives;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "voksim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return args[++i];
        };
        if (a == "--version") {
            std::printf("voksim %s\n", VOK_VERSION);
            return 0;
        }
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--link") {
            linkPath = value();
        } else if (a == "--device") {
            devicePath = value();
        } else if (a == "--control") {
            controlPath = value();
        } else if (a == "--log") {
            logPath = value();
        } else if (a == "--language") {
            directives.push_back("language " + std::filesystem::absolute(value()).string());
        } else if (a == "--baud" || a == "--parity" || a == "--databits" || a == "--stopbits" || a == "--framing") {
            directives.push_back(a.substr(2) + " " + value());
        } else if (a == "--response-delay") {
            directives.push_back("response-delay-ms " + value());
        } else if (a == "--station") {
            std::string v = value();
            auto eq = v.find('=');
            directives.push_back("station " + v.substr(0, eq) + " " + (eq == std::string::npos ? "" : v.substr(eq + 1)));
        } else if (a == "--fault") {
            std::string v = value();
            auto colon = v.find(':');
            auto eq = v.find('=');
            if (colon == std::string::npos)
                return fail("--fault N:KIND[=ARG]");
            std::string kind = v.substr(colon + 1, eq == std::string::npos ? std::string::npos : eq - colon - 1);
            directives.push_back("fault " + v.substr(0, colon) + " " + kind + " "
                                 + (eq == std::string::npos ? "" : v.substr(eq + 1)));
        } else if (!a.empty() && a[0] == '-') {
            return fail("unknown option " + a + " (see --help)");
        } else {
            std::string error;
            if (!loadLineFile(a, line, &error))
                return fail(error);
        }
    }
    for (const std::string& d : directives) {
        std::string error;
        if (!applyDirective(d, "", line, &error))
            return fail(d + ": " + error);
    }
    if (line.config.languageFolder.empty())
        return fail("no language folder: give a line file with \"language DIR\" or --language DIR");
    if (line.config.stations.empty())
        std::fprintf(stderr, "voksim: warning: the line has no stations\n");

    SimLine sim(line.config);
    std::string error;
    if (!sim.start(&error))
        return fail(error);

    int fd = -1;
    int keepSlave = -1;
    std::string servedPath;
    std::shared_ptr<vok::SerialPort> device;
    if (!devicePath.empty()) {
        static const int kBaudIndex[][2] = {{2400, 0}, {4800, 1}, {9600, 2}, {19200, 3}, {38400, 4},
                                            {57600, 5}, {115200, 6}, {230400, 7}, {460800, 8}, {921600, 9}};
        int baudIndex = -1;
        for (auto& b : kBaudIndex) {
            if (b[0] == line.timing.baud)
                baudIndex = b[1];
        }
        if (baudIndex < 0)
            return fail("a real device needs one of the loader's baud rates");
        fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return fail("cannot open " + devicePath + ": " + std::strerror(errno));
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
        t.c_cflag |= line.timing.dataBits == 7 ? CS7 : CS8;
        if (line.timing.parity)
            t.c_cflag |= PARENB | (line.timing.parity == 1 ? PARODD : 0);
        if (line.timing.stopBits == 2)
            t.c_cflag |= CSTOPB;
        static const speed_t kSpeeds[] = {B2400, B4800, B9600, B19200, B38400, B57600, B115200, B230400, B460800, B921600};
        ::cfsetispeed(&t, kSpeeds[baudIndex]);
        ::cfsetospeed(&t, kSpeeds[baudIndex]);
        if (::tcsetattr(fd, TCSANOW, &t) != 0)
            return fail(devicePath + " refuses the line settings");
        servedPath = devicePath;
    } else {
        fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0)
            return fail("cannot create a pseudo-terminal");
        servedPath = ::ptsname(fd);
        // Holding the slave open keeps the master from seeing a hang-up between two users.
        keepSlave = ::open(servedPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        ::tcgetattr(keepSlave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(keepSlave, TCSANOW, &t);
        if (!linkPath.empty()) {
            std::error_code ec;
            std::filesystem::remove(linkPath, ec);
            std::filesystem::create_symlink(servedPath, linkPath, ec);
            if (ec)
                return fail("cannot create the link " + linkPath + ": " + ec.message());
        }
    }

    std::FILE* log = nullptr;
    if (logPath == "-")
        log = stdout;
    else if (!logPath.empty() && !(log = std::fopen(logPath.c_str(), "a")))
        return fail("cannot write the log " + logPath);

    SlaveServer server(sim, fd, line.timing, line.zFraming);
    server.setLog(log);
    ControlServer control(sim, controlPath);
    if (!controlPath.empty() && !control.start(&error))
        return fail(error);

    g_server = &server;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf("voksim: serving %zu stations on %s%s%s (%d baud, %s)\n", line.config.stations.size(), servedPath.c_str(),
                linkPath.empty() ? "" : ", link ", linkPath.c_str(), line.timing.baud, line.zFraming ? "'Z' frames" : "plain RTU");
    std::fflush(stdout);
    if (!g_stop)
        server.run();

    control.stop();
    if (!linkPath.empty())
        ::unlink(linkPath.c_str());
    if (keepSlave >= 0)
        ::close(keepSlave);
    ::close(fd);
    if (log && log != stdout)
        std::fclose(log);
    std::printf("voksim: %llu requests answered\n", static_cast<unsigned long long>(server.requestsAnswered()));
    return 0;
}

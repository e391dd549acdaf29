#include "link.h"
#include "ptypair.h"
#include "reporter.h"
#include "serialport.h"
#include "testutil.h"

#include <chrono>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono;
using vok::SerialPort;
using vok::test::PtyPair;

namespace {

std::string readMaster(int fd, std::size_t count)
{
    std::string out;
    while (out.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            break;
        char buf[256];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

void writeMaster(int fd, std::string_view bytes)
{
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

milliseconds since(steady_clock::time_point t0)
{
    return duration_cast<milliseconds>(steady_clock::now() - t0);
}

class RecordingReporter : public vok::Reporter {
public:
    void message(int textId, const std::string&) override { ids.push_back(textId); }
    std::vector<int> ids;
};

} // namespace

TEST(SerialPort, BaudTable)
{
    EXPECT_EQ(vok::baudRate(2), 9600);
    EXPECT_EQ(vok::baudRate(12), 9600);
    EXPECT_EQ(vok::baudRate(-1), 9600);
    EXPECT_EQ(vok::baudRate(3), 19200);
    EXPECT_EQ(vok::baudRate(9), 921600);
}

TEST(SerialPort, BytesBothWaysAndLineSettingsReadBack)
{
    PtyPair pty;
    std::string error;
    auto port = SerialPort::open(pty.slavePath(), {6, 0, 0, 2}, &error);
    ASSERT_TRUE(port) << error;
    EXPECT_TRUE(port->isPty());

    const std::uint8_t frame[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};
    EXPECT_EQ(port->writeBytes(frame, sizeof frame), 8);
    EXPECT_EQ(readMaster(pty.master(), 8), std::string(reinterpret_cast<const char*>(frame), 8));

    writeMaster(pty.master(), std::string("\x01\x03\x04\xAB\xCD\x00\x00\x00\xFF", 9));
    std::uint8_t in[9] = {};
    EXPECT_EQ(port->readBytes(in, 9, 1), 9);
    EXPECT_EQ(in[3], 0xAB);
    EXPECT_EQ(in[8], 0xFF);

    auto line = port->actualLine();
    ASSERT_TRUE(line);
    EXPECT_EQ(line->baud, 115200);
    EXPECT_EQ(line->stopBits, 2);
    // A pty keeps eight data bits and no parity whatever is asked; a real port must match.
}

TEST(SerialPort, ParityOnAPtyIsNotAFailedOpen)
{
    PtyPair pty;
    std::string error;
    EXPECT_TRUE(SerialPort::open(pty.slavePath(), {3, 2, 1, 1}, &error)) << error;
}

TEST(SerialPort, ShortCountAfterTimeout)
{
    PtyPair pty;
    auto port = SerialPort::open(pty.slavePath(), {});
    ASSERT_TRUE(port);
    EXPECT_EQ(port->readBytes(nullptr, 0, 1), 0);
    writeMaster(pty.master(), "ab");
    std::uint8_t in[5];
    auto t0 = steady_clock::now();
    EXPECT_EQ(port->readBytes(in, 5, 1), 2);
    auto waited = since(t0);
    EXPECT_GE(waited.count(), vok::kByteTimeoutMs - 20);
    EXPECT_LT(waited.count(), 2 * vok::kByteTimeoutMs);
}

TEST(SerialPort, SecondOpenIsRefused)
{
    PtyPair pty;
    auto first = SerialPort::open(pty.slavePath(), {});
    ASSERT_TRUE(first);
    std::string error;
    EXPECT_FALSE(SerialPort::open(pty.slavePath(), {}, &error));
    EXPECT_NE(error.find("in use"), std::string::npos) << error;
    first->close();
    EXPECT_TRUE(SerialPort::open(pty.slavePath(), {})) << "free again after close";
}

TEST(SerialPort, BlockedReadWokenByCloseAndByInterrupt)
{
    PtyPair pty;
    auto port = SerialPort::open(pty.slavePath(), {});
    ASSERT_TRUE(port);
    std::uint8_t in[4];
    for (bool viaClose : {false, true}) {
        auto reader = std::async(std::launch::async, [&] { return port->readBytes(in, 4, 100); });
        std::this_thread::sleep_for(milliseconds(30));
        auto t0 = steady_clock::now();
        if (viaClose)
            EXPECT_EQ(port->close(), 0);
        else
            port->interrupt();
        ASSERT_EQ(reader.wait_for(milliseconds(50)), std::future_status::ready) << (viaClose ? "close" : "interrupt");
        EXPECT_EQ(reader.get(), 0);
        EXPECT_LT(since(t0).count(), 50);
        if (!viaClose) {
            writeMaster(pty.master(), "x");
            EXPECT_EQ(port->readBytes(in, 1, 1), 1) << "the next read is not affected";
            port->interrupt(); // with no read running: nothing to stop, nothing kept
            writeMaster(pty.master(), "y");
            EXPECT_EQ(port->readBytes(in, 1, 1), 1);
        }
    }
    EXPECT_FALSE(port->isOpen());
}

TEST(SerialPort, PeerGoingAwayEndsReadPromptly)
{
    PtyPair pty;
    auto port = SerialPort::open(pty.slavePath(), {});
    ASSERT_TRUE(port);
    writeMaster(pty.master(), "z");
    std::uint8_t in[8];
    auto reader = std::async(std::launch::async, [&] { return port->readBytes(in, 8, 100); });
    std::this_thread::sleep_for(milliseconds(30));
    pty.closeMaster();
    ASSERT_EQ(reader.wait_for(milliseconds(300)), std::future_status::ready);
    EXPECT_EQ(reader.get(), 1);
    EXPECT_TRUE(port->lost());
    const std::uint8_t byte = 0;
    EXPECT_EQ(port->writeBytes(&byte, 1), 0);
}

// Why a port does not open, in words the user can act on; and what it must not do meanwhile
// (hang on a FIFO, take a console).
TEST(SerialPort, OpenFailuresSayWhy)
{
    vok::test::TempDir dir;
    PtyPair held;
    auto first = SerialPort::open(held.slavePath(), {});
    ASSERT_TRUE(first);
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string device;
        const char* says;
    };
    const Case cases[] = {
        {dir.file("nothing"), "is not present"},
        {dir.write("plain", "x"), "is not a serial device"},
        {fifo, "is not a serial device"},
        {"/dev/null", "is not a serial device"},
        {held.slavePath(), "is in use by another program"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(SerialPort::open(c.device, {}, &error)) << c.device;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.device << ": " << error;
    }
    if (int fd = ::open("/dev/console", O_RDWR | O_NOCTTY | O_NONBLOCK); fd >= 0) {
        EXPECT_FALSE(vok::isSerialPort(fd)) << "a console is no serial port";
        ::close(fd);
    }
}

// A user without permission is told which group gives it.
TEST(SerialPort, NoPermissionNamesTheGroup)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    PtyPair pty;
    ::chmod(pty.slavePath().c_str(), 0660);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        std::string error;
        auto port = SerialPort::open(pty.slavePath(), {}, &error);
        [[maybe_unused]] auto n = ::write(out[1], error.data(), error.size());
        ::_exit(port ? 1 : 0);
    }
    ::close(out[1]);
    std::string error = readMaster(out[0], 1);
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        error.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(error.find("no permission"), std::string::npos) << error;
    EXPECT_NE(error.find("adduser"), std::string::npos) << error;
}

// Whatever a session set, the next open finds the device as it was: 7 data bits twice.
TEST(SerialPort, SettingsAreRestoredAtClose)
{
    PtyPair pty;
    int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    termios before {};
    ::tcgetattr(fd, &before);
    for (int i = 0; i < 2; ++i) {
        std::string error;
        auto port = SerialPort::open(pty.slavePath(), {3, 2, 0, 1}, &error);
        ASSERT_TRUE(port) << "open " << i << ": " << error;
        port->close();
        termios after {};
        ::tcgetattr(fd, &after);
        EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before)) << i;
        EXPECT_EQ(after.c_cflag, before.c_cflag) << i;
        EXPECT_EQ(after.c_lflag, before.c_lflag) << i;
    }
    ::close(fd);
}

TEST(Link, OpenFromSettingsReportsText100OnFailure)
{
    vok::CommSettings settings;
    RecordingReporter reporter;
    vok::Link link(settings, reporter);
    settings.deviceOverride = "/dev/does-not-exist";
    EXPECT_EQ(link.openLinkFromSettings(), -1);
    EXPECT_EQ(reporter.ids, std::vector<int>{100});
    EXPECT_FALSE(link.linkHandle());

    PtyPair pty;
    settings.deviceOverride.clear();
    settings.comNo = 4;
    settings.portDevices[4] = pty.slavePath();
    EXPECT_EQ(link.openLinkFromSettings(), 0);
    ASSERT_TRUE(link.linkHandle());
    EXPECT_EQ(link.linkHandle()->device(), pty.slavePath());
    EXPECT_EQ(link.closeSerialPort(link.linkHandle()), 0);
    EXPECT_FALSE(link.linkHandle());
    EXPECT_EQ(reporter.ids.size(), 1u);
}

// The ports offered for choosing: the stable by-id names with the adapter's name first, then
// the USB and ACM ports, then only the ttyS ports that have hardware.
TEST(SerialPort, PortsOfTheMachineInTheirOrder)
{
    vok::test::TempDir root;
    for (const char* node : {"dev/ttyUSB0", "dev/ttyUSB10", "dev/ttyUSB2", "dev/ttyACM1", "dev/ttyS0", "dev/ttyS1", "dev/tty1"})
        root.write(node, "");
    std::filesystem::create_directories(root.file("dev/serial/by-id"));
    std::filesystem::create_symlink("../../ttyUSB0", root.file("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    root.write("sys/class/tty/ttyS0/type", "4\n");
    root.write("sys/class/tty/ttyS1/type", "0\n");
    std::vector<std::string> seen;
    for (const vok::SerialPortInfo& p : vok::listSerialPorts(root.file("dev"), root.file("sys")))
        seen.push_back(p.path.substr(root.path().size()) + " | " + p.description);
    const std::vector<std::string> expected = {
        "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 | FTDI FT232R USB UART A50285BI (ttyUSB0)",
        "/dev/ttyUSB0 | serial port",
        "/dev/ttyUSB2 | serial port",
        "/dev/ttyUSB10 | serial port",
        "/dev/ttyACM1 | serial port",
        "/dev/ttyS0 | serial port",
    };
    EXPECT_EQ(seen, expected);
}

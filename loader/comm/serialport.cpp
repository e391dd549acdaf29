#include "serialport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <linux/serial.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace vok {

namespace {

constexpr int kBauds[kBaudRates] = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
constexpr const char* kBaudLabels[kBaudRates] = {"2400",  "4800",   "9600",   "19200",  "38400",
                                                 "57600", "115200", "230400", "460800", "921600"};
constexpr speed_t kSpeeds[kBaudRates] = {B2400,  B4800,   B9600,   B19200,  B38400,
                                         B57600, B115200, B230400, B460800, B921600};

int speedIndex(int baudIndex)
{
    return (baudIndex >= 0 && baudIndex < kBaudRates) ? baudIndex : 2;
}

bool isPtySlave(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    unsigned maj = major(st.st_rdev);
    // Unix98 pty slaves use majors 136-143; the old BSD slaves use 3.
    return (maj >= 136 && maj <= 143) || maj == 3;
}

void applyLine(termios& t, const LineSettings& line, bool withParity)
{
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= (line.byteIndex == 0) ? CS7 : CS8;
    if (withParity && line.parityIndex == 1)
        t.c_cflag |= PARENB | PARODD;
    else if (withParity && line.parityIndex == 2)
        t.c_cflag |= PARENB;
    // termios has no 1.5 stop bits; two is the nearest that keeps the receiver in step.
    if (line.stopIndex == 1 || line.stopIndex == 2)
        t.c_cflag |= CSTOPB;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    speed_t speed = kSpeeds[speedIndex(line.baudIndex)];
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
}

bool lineMatches(const termios& want, const termios& got)
{
    const tcflag_t mask = CSIZE | PARENB | PARODD | CSTOPB;
    return (want.c_cflag & mask) == (got.c_cflag & mask) && ::cfgetospeed(&want) == ::cfgetospeed(&got)
        && ::cfgetispeed(&want) == ::cfgetispeed(&got);
}

std::string reason(const std::string& device, const char* what)
{
    return device + ": " + what + " (" + std::strerror(errno) + ")";
}

// The group that owns a device, by name.
std::string groupOf(const struct stat& st)
{
    std::string name = std::to_string(st.st_gid);
    if (auto bytes = std::ifstream("/etc/group")) {
        std::string line;
        while (std::getline(bytes, line)) {
            const auto a = line.find(':'), b = line.find(':', a + 1), c = line.find(':', b + 1);
            if (a != std::string::npos && c != std::string::npos
                && line.substr(b + 1, c - b - 1) == std::to_string(st.st_gid))
                return line.substr(0, a);
        }
    }
    return name;
}

} // namespace

bool isSerialPort(int fd)
{
    struct stat st {};
    if (!::isatty(fd) || ::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    if (isPtySlave(fd))
        return true;
    // The console, the controlling terminal and the virtual terminals are no lines to a
    // module, even where the console happens to sit on a serial port.
    const unsigned maj = major(st.st_rdev), min = minor(st.st_rdev);
    if ((maj == 5 && min <= 2) || (maj == 4 && min < 64))
        return false;
    // A real port has a device behind it in sysfs; consoles and virtual terminals do not.
    const std::string sys = "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev))
        + "/device";
    if (::access(sys.c_str(), F_OK) == 0)
        return true;
    serial_struct info {};
    return ::ioctl(fd, TIOCGSERIAL, &info) == 0;
}

std::vector<std::string> deviceHolders(const std::string& device)
{
    std::vector<std::string> out;
    struct stat want {};
    if (::stat(device.c_str(), &want) != 0)
        return out;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return out;
    while (dirent* e = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (*end || pid <= 0 || pid == ::getpid())
            continue;
        const std::string fdDir = std::string("/proc/") + e->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds)
            continue;
        bool holds = false;
        while (dirent* f = ::readdir(fds)) {
            struct stat st {};
            if (f->d_name[0] != '.' && ::stat((fdDir + "/" + f->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode)
                && st.st_rdev == want.st_rdev)
                holds = true;
        }
        ::closedir(fds);
        if (!holds)
            continue;
        std::string name;
        std::getline(std::ifstream(std::string("/proc/") + e->d_name + "/comm"), name);
        out.push_back((name.empty() ? std::string("a program") : name) + " (pid " + e->d_name + ")");
    }
    ::closedir(proc);
    return out;
}

std::vector<SerialPortInfo> listSerialPorts(const std::string& devRoot, const std::string& sysRoot)
{
    namespace fs = std::filesystem;
    std::vector<SerialPortInfo> out;
    auto problemOf = [](const std::string& path) -> std::string {
        if (::access(path.c_str(), R_OK | W_OK) == 0)
            return {};
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return "not present";
        const std::string group = groupOf(st);
        return "no permission: join the group \"" + group + "\" (sudo adduser $USER " + group + ", then log in again)";
    };
    auto driverOf = [&](const std::string& name) {
        std::error_code ec;
        const fs::path driver = fs::read_symlink(fs::path(sysRoot) / "class" / "tty" / name / "device" / "driver", ec);
        return ec ? std::string() : driver.filename().string();
    };
    std::error_code ec;
    std::vector<SerialPortInfo> byId;
    for (fs::directory_iterator it(fs::path(devRoot) / "serial" / "by-id", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::string name = entry.path().filename().string();
        // "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" -> "FTDI FT232R USB UART A50285BI"
        if (name.rfind("usb-", 0) == 0)
            name = name.substr(4);
        if (const auto cut = name.find("-if"); cut != std::string::npos)
            name = name.substr(0, cut);
        std::replace(name.begin(), name.end(), '_', ' ');
        std::error_code tec;
        const fs::path target = fs::canonical(entry.path(), tec);
        const std::string path = entry.path().string();
        byId.push_back({path, name + (tec ? std::string() : " (" + target.filename().string() + ")"), problemOf(path)});
    }
    std::sort(byId.begin(), byId.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    out = byId;
    std::vector<std::pair<std::string, std::string>> ttys; // sort key, name
    ec.clear();
    for (fs::directory_iterator it(fs::path(devRoot), ec), end; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        const std::string name = entry.path().filename().string();
        int order = name.rfind("ttyUSB", 0) == 0 ? 0 : name.rfind("ttyACM", 0) == 0 ? 1 : name.rfind("ttyS", 0) == 0 ? 2 : -1;
        if (order < 0)
            continue;
        if (order == 2) {
            // Most ttyS nodes have no hardware behind them: their port type is 0.
            std::ifstream type(fs::path(sysRoot) / "class" / "tty" / name / "type");
            int t = 0;
            if (!(type >> t) || t == 0)
                continue;
        }
        const std::string digits = name.substr(order == 2 ? 4 : 6);
        char key[32];
        std::snprintf(key, sizeof key, "%d%08d", order, std::atoi(digits.c_str()));
        ttys.emplace_back(key, name);
    }
    std::sort(ttys.begin(), ttys.end());
    for (const auto& [key, name] : ttys) {
        const std::string path = (fs::path(devRoot) / name).string();
        const std::string driver = driverOf(name);
        out.push_back({path, driver.empty() ? std::string("serial port") : driver, problemOf(path)});
    }
    return out;
}

std::string openFailureReason(const std::string& device, int openErrno)
{
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return device + " is not present (is the adapter plugged in?)";
    if (!S_ISCHR(st.st_mode))
        return device + " is not a serial device";
    if (openErrno == EACCES || openErrno == EPERM) {
        const std::string group = groupOf(st);
        return "no permission to use " + device + ": it belongs to the group \"" + group
            + "\"; add the user to it (sudo adduser $USER " + group + ") and log in again";
    }
    if (openErrno == EBUSY || openErrno == 0) {
        std::string who;
        for (const std::string& h : deviceHolders(device))
            who += (who.empty() ? "" : ", ") + h;
        return device + " is in use by another program"
            + (who.empty() ? std::string(" (run: fuser -v ") + device + ")" : ": " + who);
    }
    return device + ": " + std::strerror(openErrno);
}

int baudRate(int baudIndex)
{
    return kBauds[speedIndex(baudIndex)];
}

const char* baudLabel(int baudIndex)
{
    return kBaudLabels[speedIndex(baudIndex)];
}

std::shared_ptr<SerialPort> SerialPort::open(const std::string& device, const LineSettings& line, std::string* error)
{
    auto fail = [&](std::string why, int fd) -> std::shared_ptr<SerialPort> {
        if (error)
            *error = std::move(why);
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    };
    if (device.empty())
        return fail("no device is configured for this port", -1);
    // A FIFO or a regular file would block or take any bytes: only character devices.
    struct stat st {};
    if (::stat(device.c_str(), &st) == 0 && !S_ISCHR(st.st_mode))
        return fail(device + " is not a serial device", -1);
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return fail(openFailureReason(device, errno), -1);
    if (!isSerialPort(fd))
        return fail(device + " is not a serial device", fd);
    // TIOCEXCL keeps other users out, flock keeps out root and a second loader alike.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(openFailureReason(device, 0), fd);
    ::ioctl(fd, TIOCEXCL);
    const bool pty = isPtySlave(fd);

    termios original {};
    if (::tcgetattr(fd, &original) != 0)
        return fail(reason(device, "cannot read the line settings"), fd);
    termios want = original;
    applyLine(want, line, true);
    if (::tcsetattr(fd, TCSANOW, &want) != 0) {
        // A pseudo-terminal has no parity and no data size of its own; there these settings
        // do not apply.
        if (!pty)
            return fail(reason(device, "refuses the line settings"), fd);
        LineSettings plain = line;
        plain.byteIndex = 1;
        applyLine(want, plain, false);
        if (::tcsetattr(fd, TCSANOW, &want) != 0) {
            ::tcsetattr(fd, TCSANOW, &original);
            return fail(reason(device, "refuses the line settings"), fd);
        }
    }
    termios got {};
    if (::tcgetattr(fd, &got) != 0 || (!pty && !lineMatches(want, got))) {
        ::tcsetattr(fd, TCSANOW, &original);
        return fail(device + ": the driver did not take the line settings", fd);
    }

    int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        ::tcsetattr(fd, TCSANOW, &original);
        return fail(reason(device, "cannot create a wake-up event"), fd);
    }
    std::shared_ptr<SerialPort> port(new SerialPort(fd, wake, device, pty));
    port->m_original = std::make_unique<termios>(original);
    port->setDtr(true);
    return port;
}

SerialPort::SerialPort(int fd, int wakeFd, std::string device, bool pty)
    : m_fd(fd), m_wakeFd(wakeFd), m_device(std::move(device)), m_pty(pty)
{
    m_buffer.reserve(512);
}

SerialPort::~SerialPort()
{
    close();
    ::close(m_wakeFd);
}

bool SerialPort::isOpen() const
{
    std::lock_guard lock(m_mutex);
    return !m_closed;
}

bool SerialPort::lost() const
{
    std::lock_guard lock(m_mutex);
    return m_lost;
}

void SerialPort::setDtr(bool on)
{
    std::lock_guard lock(m_mutex);
    if (m_closed)
        return;
    int bits = TIOCM_DTR;
    // Modem lines do not exist on a pseudo-terminal (ENOTTY); nothing to do there.
    ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

std::optional<SerialPort::ActualLine> SerialPort::actualLine() const
{
    std::lock_guard lock(m_mutex);
    termios t {};
    if (m_closed || ::tcgetattr(m_fd, &t) != 0)
        return std::nullopt;
    ActualLine line;
    speed_t speed = ::cfgetospeed(&t);
    for (int i = 0; i < kBaudRates; ++i) {
        if (kSpeeds[i] == speed)
            line.baud = kBauds[i];
    }
    line.dataBits = (t.c_cflag & CSIZE) == CS7 ? 7 : (t.c_cflag & CSIZE) == CS8 ? 8 : 0;
    line.parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    line.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    return line;
}

void SerialPort::interrupt()
{
    std::lock_guard lock(m_mutex);
    if (m_closed || m_users == 0)
        return;
    m_cancel = true;
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

void SerialPort::clearInterrupt()
{
    std::lock_guard lock(m_mutex);
    dropStopLocked();
}

int SerialPort::close()
{
    std::unique_lock lock(m_mutex);
    if (m_closed)
        return 0;
    m_closed = true;
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
    // The descriptor is closed only when no thread is inside a read on it.
    m_idle.wait(lock, [this] { return m_users == 0; });
    int bits = TIOCM_DTR;
    ::ioctl(m_fd, TIOCMBIC, &bits);
    // The next user of the device finds it as it was before us.
    if (m_original)
        ::tcsetattr(m_fd, TCSANOW, m_original.get());
    int rc = ::close(m_fd);
    m_fd = -1;
    return rc == 0 ? 0 : -1;
}

SerialPort::Fill SerialPort::fill(int timeoutMs)
{
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    int rc;
    do {
        rc = ::poll(fds, 2, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0)
        return Fill::Stop;
    if (rc == 0)
        return Fill::Timeout;
    if (fds[1].revents & POLLIN) {
        std::lock_guard lock(m_mutex);
        if (m_cancel && !m_closed) {
            // A stop for this read: consume it so that the next read waits as usual.
            m_cancel = false;
            std::uint64_t value;
            [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &value, sizeof value);
        }
        return Fill::Stop;
    }
    if (fds[0].revents & POLLIN) {
        std::uint8_t chunk[512];
        ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n > 0) {
            if (m_bufferPos == m_buffer.size()) {
                m_buffer.clear();
                m_bufferPos = 0;
            }
            m_buffer.insert(m_buffer.end(), chunk, chunk + n);
            return Fill::Data;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return Fill::Timeout;
    }
    // End of file, EIO or a hang-up: the other end is gone.
    std::lock_guard lock(m_mutex);
    m_lost = true;
    return Fill::Stop;
}

int SerialPort::readBytes(std::uint8_t* buffer, int count, int triesPerByte)
{
    if (count <= 0)
        return 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_lost)
            return 0;
        ++m_users;
    }
    int stored = 0;
    {
        std::lock_guard readLock(m_readMutex);
        bool stop = false;
        while (stored < count && !stop) {
            int failed = 0;
            for (;;) {
                if (m_bufferPos < m_buffer.size()) {
                    buffer[stored++] = m_buffer[m_bufferPos++];
                    break;
                }
                Fill f = fill(m_byteTimeoutMs);
                if (f == Fill::Data)
                    continue;
                if (f == Fill::Stop) {
                    stop = true;
                    break;
                }
                if (++failed >= triesPerByte) {
                    stop = true;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }
    // A stop that came after this read had what it wanted is not kept for the next one.
    leaveRead();
    return stored;
}

int SerialPort::writeBytes(const std::uint8_t* buffer, int count)
{
    if (count <= 0)
        return 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_lost)
            return 0;
        ++m_users;
    }
    // Total write time: 10 ms per byte plus 200 ms.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(10 * count + 200);
    int written = 0;
    while (written < count) {
        ssize_t n = ::write(m_fd, buffer + written, static_cast<std::size_t>(count - written));
        if (n > 0) {
            written += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            // The other end is gone (a pty whose master closed, an unplugged adapter).
            if (errno == EIO || errno == ENXIO || errno == EPIPE || errno == ENODEV) {
                std::lock_guard lock(m_mutex);
                m_lost = true;
            }
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left.count())) <= 0 || (fds[1].revents & POLLIN))
            break;
    }
    {
        std::lock_guard lock(m_mutex);
        --m_users;
    }
    m_idle.notify_all();
    return written;
}

void SerialPort::discardInput()
{
    std::lock_guard readLock(m_readMutex);
    m_buffer.clear();
    m_bufferPos = 0;
    std::lock_guard lock(m_mutex);
    if (!m_closed)
        ::tcflush(m_fd, TCIFLUSH);
}

void SerialPort::waitQuiet(int quietMs, int maxMs, bool expectAnswer)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_lost)
            return;
        ++m_users;
    }
    {
        std::lock_guard readLock(m_readMutex);
        m_buffer.clear();
        m_bufferPos = 0;
        const int quiet = std::max(1, std::min(quietMs, m_byteTimeoutMs));
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
        bool heard = !expectAnswer;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                break;
            const Fill f = fill(static_cast<int>(heard ? std::min<long long>(quiet, left) : left));
            m_buffer.clear();
            m_bufferPos = 0;
            if (f != Fill::Data)
                break;
            heard = true;
        }
    }
    leaveRead();
}

void SerialPort::leaveRead()
{
    {
        std::lock_guard lock(m_mutex);
        --m_users;
        dropStopLocked();
    }
    m_idle.notify_all();
}

void SerialPort::dropStopLocked()
{
    if (m_users == 0 && m_cancel && !m_closed) {
        m_cancel = false;
        std::uint64_t value;
        [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &value, sizeof value);
    }
}

} // namespace vok

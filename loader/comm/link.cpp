#include "link.h"

#include "reporter.h"

namespace vok {

PortHandle openSerialPort(const CommSettings& settings, int portIndex, int baudIndex, int parityIndex,
                          int byteIndex, int stopIndex, std::string* error)
{
    std::string device = settings.deviceOverride.empty() ? comDevicePath(settings, portIndex + 1)
                                                         : settings.deviceOverride;
    if (device.empty()) {
        if (error)
            *error = "COM" + std::to_string(portIndex + 1) + " names no port";
        return nullptr;
    }
    return SerialPort::open(device, {baudIndex, parityIndex, byteIndex, stopIndex}, error);
}

int Link::openLinkFromSettings()
{
    if (openLink() == 0)
        return 0;
    reportOpenFailure();
    return -1;
}

int Link::openLink()
{
    // One open or close at a time: a second opener shares the port the first opened, rather
    // than failing on the process's own lock of the device.
    std::lock_guard opening(m_openMutex);
    {
        // The process holds one port: a second user (the trend logging beside a transfer)
        // shares the one that is open.
        std::lock_guard lock(m_mutex);
        if (m_handle && m_handle->isOpen() && !m_handle->lost()) {
            ++m_users;
            return 0;
        }
    }
    std::string error;
    PortHandle port = openSerialPort(m_settings, m_settings.comNo - 1, m_settings.bps, m_settings.parity,
                                     m_settings.byteLength, m_settings.stopBits, &error);
    PortHandle stale;
    {
        std::lock_guard lock(m_mutex);
        m_lastError = error;
        if (m_handle && (!m_handle->isOpen() || m_handle->lost()))
            stale.swap(m_handle);
        if (port) {
            // Those who held the lost port still hold the link: each of them closes it once.
            m_handle = port;
            ++m_users;
        }
    }
    if (stale)
        stale->close();
    return port ? 0 : -1;
}

int Link::closeSerialPort(const PortHandle& handle)
{
    std::lock_guard opening(m_openMutex);
    PortHandle last;
    {
        std::lock_guard lock(m_mutex);
        // A user whose port was lost and dropped still ends its use.
        if (m_users > 0)
            --m_users;
        // Closed when its last user is done with it.
        if (m_users == 0)
            last.swap(m_handle);
        else if (handle == m_handle)
            return 0;
    }
    // A lost handle that was replaced meanwhile is closed by whoever leaves it.
    int rc = handle ? handle->close() : -1;
    if (last && last != handle)
        rc = last->close();
    return rc;
}

int Link::closeAll()
{
    std::lock_guard opening(m_openMutex);
    PortHandle handle;
    {
        std::lock_guard lock(m_mutex);
        handle.swap(m_handle);
        m_users = 0;
    }
    return handle ? handle->close() : 0;
}

void Link::reportOpenFailure()
{
    std::string why;
    {
        std::lock_guard lock(m_mutex);
        why = m_lastError;
    }
    // Text 100, and what stands in the way in words the user can act on.
    m_reporter.message(100, why.empty() ? std::string() : "\n\n" + why);
}

bool Link::noteLost(const std::string& why)
{
    std::lock_guard lock(m_mutex);
    if (m_health.lost)
        return false;
    m_health.lost = true;
    m_health.since = std::time(nullptr);
    m_health.why = why;
    ++m_health.losses;
    return true;
}

void Link::noteAnswered()
{
    std::lock_guard lock(m_mutex);
    m_health.lost = false;
}

LineHealth Link::health() const
{
    std::lock_guard lock(m_mutex);
    return m_health;
}

Link::Use::Use(Link& link, LineUser who) : m_link(link), m_who(who)
{
    std::lock_guard lock(m_link.m_mutex);
    ++m_link.m_using[static_cast<std::size_t>(who)];
}

Link::Use::~Use()
{
    std::lock_guard lock(m_link.m_mutex);
    --m_link.m_using[static_cast<std::size_t>(m_who)];
}

int Link::usersOf(LineUser who) const
{
    std::lock_guard lock(m_mutex);
    return m_using[static_cast<std::size_t>(who)];
}

int Link::users() const
{
    std::lock_guard lock(m_mutex);
    return m_users;
}

PortHandle Link::linkHandle() const
{
    std::lock_guard lock(m_mutex);
    return m_handle;
}

} // namespace vok

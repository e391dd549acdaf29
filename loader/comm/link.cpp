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
    std::lock_guard lock(m_mutex);
    m_lastError = error;
    if (!port) {
        if (m_handle && (!m_handle->isOpen() || m_handle->lost()))
            m_handle.reset();
        return -1;
    }
    m_handle = port;
    m_users = 1;
    return 0;
}

int Link::closeSerialPort(const PortHandle& handle)
{
    if (!handle)
        return -1;
    {
        std::lock_guard lock(m_mutex);
        if (handle == m_handle) {
            // Closed when its last user is done with it.
            if (--m_users > 0)
                return 0;
            m_handle.reset();
            m_users = 0;
        }
    }
    return handle->close();
}

int Link::closeAll()
{
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

PortHandle Link::linkHandle() const
{
    std::lock_guard lock(m_mutex);
    return m_handle;
}

} // namespace vok

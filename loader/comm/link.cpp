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
    std::string error;
    PortHandle port = openSerialPort(m_settings, m_settings.comNo - 1, m_settings.bps, m_settings.parity,
                                     m_settings.byteLength, m_settings.stopBits, &error);
    {
        std::lock_guard lock(m_mutex);
        m_handle = port;
        m_lastError = error;
    }
    return port ? 0 : -1;
}

int Link::closeSerialPort(const PortHandle& handle)
{
    {
        std::lock_guard lock(m_mutex);
        if (handle && handle == m_handle)
            m_handle.reset();
        else if (!handle)
            m_handle.reset();
    }
    return handle ? handle->close() : -1;
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

#include "trendbuffer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vok {

std::string trendSectionName()
{
    // Another name for tests that run side by side; both programs read the same variable.
    if (const char* name = std::getenv("VOK_TREND_SECTION"); name && name[0] == '/')
        return name;
    return "/LDTrendBuffer." + std::to_string(::getuid());
}

TrendSection::~TrendSection()
{
    release(false);
}

bool TrendSection::open(std::string* error, const std::string& name)
{
    release(false);
    int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error)
            *error = std::string("shm_open: ") + std::strerror(errno);
        return false;
    }
    struct stat st {};
    // Only a new (empty) section is sized; an existing one of the right size is taken as is.
    if (::fstat(fd, &st) != 0 || (st.st_size != static_cast<off_t>(kTrendBufferSize)
                                  && ::ftruncate(fd, static_cast<off_t>(kTrendBufferSize)) != 0)) {
        if (error)
            *error = std::string("cannot size the section: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    void* p = ::mmap(nullptr, kTrendBufferSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) {
        if (error)
            *error = std::string("mmap: ") + std::strerror(errno);
        return false;
    }
    m_buffer = static_cast<TrendBuffer*>(p);
    m_name = name;
    return true;
}

void TrendSection::clear()
{
    if (m_buffer)
        std::memset(static_cast<void*>(m_buffer), 0, kTrendBufferSize);
}

void TrendSection::reset()
{
    clear();
    if (m_buffer)
        m_buffer->newestSlot = -1;
}

bool TrendSection::release(bool unlink)
{
    if (!m_buffer)
        return true;
    m_buffer->viewerOpen = 0;
    const bool ok = ::munmap(m_buffer, kTrendBufferSize) == 0;
    m_buffer = nullptr;
    if (unlink)
        ::shm_unlink(m_name.c_str());
    return ok;
}

} // namespace vok

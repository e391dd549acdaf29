#include "trendbuffer.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
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

namespace {

// The mapped sections of this process, for the SIGBUS handler: a section that another
// process truncates would otherwise kill us at the next access.
struct Guard {
    std::atomic<char*> begin{nullptr};
    std::atomic<std::atomic<int>*> broken{nullptr};
};
constexpr int kGuards = 8;
Guard g_guards[kGuards];
struct sigaction g_previousBus {};

void onBus(int sig, siginfo_t* info, void* context)
{
    char* at = static_cast<char*>(info->si_addr);
    for (Guard& g : g_guards) {
        char* begin = g.begin.load();
        if (begin && at >= begin && at < begin + kTrendBufferSize) {
            // Private zero pages over the whole mapping: the access goes through when the
            // handler returns.
            ::mmap(begin, kTrendBufferSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (std::atomic<int>* b = g.broken.load())
                b->store(1);
            return;
        }
    }
    // Not a section of ours: what would have happened without us.
    if (g_previousBus.sa_flags & SA_SIGINFO) {
        if (g_previousBus.sa_sigaction) {
            g_previousBus.sa_sigaction(sig, info, context);
            return;
        }
    } else if (g_previousBus.sa_handler != SIG_DFL && g_previousBus.sa_handler != SIG_IGN) {
        g_previousBus.sa_handler(sig);
        return;
    }
    ::signal(SIGBUS, SIG_DFL);
    ::raise(SIGBUS);
}

void installBusHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_sigaction = onBus;
        sa.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGBUS, &sa, &g_previousBus);
    });
}

int addGuard(void* begin, std::atomic<int>* broken)
{
    installBusHandler();
    for (int i = 0; i < kGuards; ++i) {
        char* expected = nullptr;
        if (g_guards[i].begin.compare_exchange_strong(expected, static_cast<char*>(begin))) {
            g_guards[i].broken.store(broken);
            return i;
        }
    }
    return -1;
}

void removeGuard(int i)
{
    if (i < 0)
        return;
    g_guards[i].broken.store(nullptr);
    g_guards[i].begin.store(nullptr);
}

} // namespace

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
    m_broken = 0;
    m_guard = addGuard(p, &m_broken);
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
    removeGuard(m_guard);
    m_guard = -1;
    const bool ok = ::munmap(m_buffer, kTrendBufferSize) == 0;
    m_buffer = nullptr;
    if (unlink)
        ::shm_unlink(m_name.c_str());
    return ok;
}

} // namespace vok

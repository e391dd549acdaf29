// How long `vokctl upload` of the full simulated line takes, from its start to its exit, when
// the coupling unit answers the connection check but no station answers: plain frames and
// 'Z' frames. The upload must end after two silent stations, not wait out all 32.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

pid_t startSimulator(const std::string& line, const std::string& link)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(VOKSIM_PATH, "voksim", line.c_str(), "--link", link.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    for (int i = 0; i < 100 && !std::filesystem::exists(link); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return pid;
}

} // namespace

int main()
{
    const std::string source = VOK_SOURCE_DIR;
    const std::string tmp = std::filesystem::temp_directory_path() / ("vok-dead-" + std::to_string(::getpid()));
    std::filesystem::create_directories(tmp);
    std::ifstream full(source + "/sample/lines/full.line");
    const std::string fullText((std::istreambuf_iterator<char>(full)), {});
    for (const char* framing : {"plain", "z"}) {
        const std::string line = tmp + "/dead-" + framing + ".line";
        std::string text = fullText;
        const std::size_t at = text.find("framing plain");
        text.replace(at, 13, std::string("framing ") + framing);
        text.replace(text.find("language ../file/language1"), 26, "language " + source + "/sample/file/language1");
        std::ofstream(line) << text << "fault * silent\n";
        const std::string link = tmp + "/tty";
        const pid_t sim = startSimulator(line, link);
        const std::string cmd = "cd " + tmp + " && " + VOKCTL_PATH + " --quiet --profile /nonexistent/vok.ini --language "
            + source + "/sample/file/language1 --device " + link + " --baud 115200 "
            + (std::string(framing) == "z" ? "--special " : "") + "upload dead.dat >/dev/null 2>&1";
        const auto t0 = std::chrono::steady_clock::now();
        const int status = std::system(cmd.c_str());
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("dead line behind an answering coupling unit, %-5s frames: vokctl upload exits %d after %.2f s "
                    "(target %s s), %s\n",
                    framing, WIFEXITED(status) ? WEXITSTATUS(status) : -1, took, std::string(framing) == "z" ? "3.5" : "1.5",
                    std::filesystem::exists(tmp + "/dead.dat") ? "a file was written" : "no file written");
        ::kill(sim, SIGTERM);
        ::waitpid(sim, nullptr, 0);
        std::filesystem::remove(link);
    }
    std::filesystem::remove_all(tmp);
    return 0;
}

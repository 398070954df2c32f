#include "bench/Processes.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/Measure.h"

extern char** environ;

namespace shoebox::bench {

double runTimed(const std::vector<std::string>& args, std::string* out, bool quiet)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int fds[2] = {-1, -1};
    if (out) {
        if (pipe2(fds, O_CLOEXEC) != 0)
            die("pipe");
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto t0 = Clock::now();
    pid_t pid = 0;
    const int err = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (out) {
        ::close(fds[1]);
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0)
                out->append(buffer, static_cast<size_t>(n));
        ::close(fds[0]);
    }
    if (err != 0)
        return NAN;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const double ms = msBetween(t0, Clock::now());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : NAN;
}

std::vector<double> childNumbers(const std::vector<std::string>& args)
{
    std::string out;
    if (std::isnan(runTimed(args, &out)))
        return {};
    std::istringstream in(out);
    std::vector<double> numbers;
    for (double v; in >> v;)
        numbers.push_back(v);
    return numbers;
}

double childNumber(const std::vector<std::string>& args)
{
    const std::vector<double> numbers = childNumbers(args);
    return numbers.size() == 1 ? numbers[0] : NAN;
}

std::string selfPath()
{
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

std::string siblingProgram(const std::string& name)
{
    return (std::filesystem::path(selfPath()).parent_path() / name).string();
}

long vmHighWaterKB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

} // namespace shoebox::bench

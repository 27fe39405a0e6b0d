// trn_bench_spawn N COMMAND [ARG...] [-- COMMAND [ARG...]]...: runs each
// command N times, their output thrown away, taking the commands in turn so
// that a change in the machine's load falls on all of them alike. Prints one
// line per command: the median wall time of one run in microseconds, from
// the spawn to the end of its wait, and the number of failed runs. Timing in
// one process keeps the cost of a shell and of reading the clock out.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

namespace {

struct Command {
    std::vector<char*> argv;  // null-terminated
    std::vector<double> micros;
    std::vector<double> cpuMicros;
    int failures = 0;
};

// One run; false when the command cannot be started at all.
bool RunOnce(Command& c, const posix_spawn_file_actions_t& actions) {
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, c.argv[0], &actions, nullptr, c.argv.data(), environ) != 0) return false;
    int status = 0;
    struct rusage usage = {};
    wait4(pid, &status, 0, &usage);
    c.cpuMicros.push_back(double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
                          double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec));
    c.micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++c.failures;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc >= 3 ? std::atoi(argv[1]) : 0;
    if (runs <= 0) {
        std::fprintf(stderr, "usage: trn_bench_spawn N COMMAND [ARG...] [-- COMMAND [ARG...]]...\n");
        return 2;
    }
    std::vector<Command> commands(1);
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            commands.emplace_back();
            continue;
        }
        commands.back().argv.push_back(argv[i]);
    }
    for (Command& c : commands) {
        if (c.argv.empty()) {
            std::fprintf(stderr, "empty command\n");
            return 2;
        }
        c.argv.push_back(nullptr);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1 /* O_WRONLY */, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
    for (int i = 0; i < runs; ++i) {
        for (Command& c : commands) {
            if (!RunOnce(c, actions)) {
                std::fprintf(stderr, "cannot start %s\n", c.argv[0]);
                return 1;
            }
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    for (Command& c : commands) {
        std::sort(c.micros.begin(), c.micros.end());
        std::sort(c.cpuMicros.begin(), c.cpuMicros.end());
        std::printf("%.0f %.0f %d\n", c.micros[c.micros.size() / 2], c.cpuMicros[c.cpuMicros.size() / 2], c.failures);
    }
    return 0;
}

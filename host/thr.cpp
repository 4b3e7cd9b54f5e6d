#include "host/thr.h"

#include <cerrno>
#include <ctime>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

int thr_run(const std::string& command)
{
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int thr_system(const std::string& command)
{
    return thr_run(command);
}

void thr_msleep(unsigned int milliseconds)
{
    timespec wait{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

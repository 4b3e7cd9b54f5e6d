#include "host/thr.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>

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

struct THR_THREAD_STRUCT {
    std::thread thread;
    std::atomic<bool> running{true}; // cleared when entry returns
};

THR_THREAD_STRUCT* thr_thread_start(void (*entry)(void*), void* arg)
{
    if (entry == nullptr)
        return nullptr;
    std::unique_ptr<THR_THREAD_STRUCT> handle(new THR_THREAD_STRUCT);
    THR_THREAD_STRUCT* started = handle.get();
    try {
        handle->thread = std::thread([started, entry, arg] {
            entry(arg);
            started->running.store(false);
        });
    } catch (const std::system_error&) {
        return nullptr;
    }
    return handle.release();
}

bool thr_thread_is_running(THR_THREAD_STRUCT* thread)
{
    return thread != nullptr && thread->running.load();
}

void thr_thread_wait(THR_THREAD_STRUCT* thread)
{
    if (thread == nullptr)
        return;
    std::unique_ptr<THR_THREAD_STRUCT> handle(thread);
    handle->thread.join();
}

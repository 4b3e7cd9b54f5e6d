// Thread library of the host suite: shell commands and threads.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <string>

// Runs a shell command line; 0 when it succeeded. A command ended by a
// signal, or a shell that cannot start, gives -1.
PGM_COMMON_API int thr_run(const std::string& command);
PGM_COMMON_API int thr_system(const std::string& command);
PGM_COMMON_API void thr_msleep(unsigned int milliseconds);

// A started thread; opaque.
struct THR_THREAD_STRUCT;

// Starts a thread that runs entry(arg); null when it cannot start. entry
// must not let an exception out. The handle is released by thr_thread_wait.
PGM_COMMON_API THR_THREAD_STRUCT* thr_thread_start(void (*entry)(void*), void* arg);
// True while entry has not returned.
PGM_COMMON_API bool thr_thread_is_running(THR_THREAD_STRUCT* thread);
// Waits until the thread has ended and releases its handle.
PGM_COMMON_API void thr_thread_wait(THR_THREAD_STRUCT* thread);

// Worker slots and the worker count.
#include "host/gen.h"
#include "host/mem.h"
#include "host/thr.h"
#include "pgm/common/pgm_check.h"
#include "pgm/h/pgm_common.h"
#include "pgm/h/pgm_common_thread.h"

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

THR_THREAD_STRUCT** PGM_COMMON_THREAD::create_threads(DWORD max_thread)
{
    PGM_CHECK_TEXT(max_thread > 0, "MAX_THREAD > 0");
    return new THR_THREAD_STRUCT*[max_thread]();
}

DWORD PGM_COMMON_THREAD::get_active_thread(THR_THREAD_STRUCT**& threads, DWORD max_thread, DWORD sleep_ms)
{
    PGM_CHECK_TEXT(threads != NULL && max_thread > 0, "threads != NULL && MAX_THREAD > 0");
    for (DWORD slot = 0;; slot++) {
        if (slot == max_thread) {
            // A full scan found every worker busy: wait a little, at least
            // a millisecond so that the controlling thread does not spin.
            thr_msleep(sleep_ms != 0 ? sleep_ms : 1);
            slot = 0;
        }
        if (threads[slot] == NULL)
            return slot;
        if (!thr_thread_is_running(threads[slot])) {
            thr_thread_wait(threads[slot]);
            threads[slot] = NULL;
            return slot;
        }
    }
}

void PGM_COMMON_THREAD::wait_and_terminate_threads(THR_THREAD_STRUCT**& threads, DWORD max_thread, bool release)
{
    PGM_CHECK_TEXT(threads != NULL && max_thread > 0, "threads != NULL && MAX_THREAD > 0");
    for (DWORD slot = 0; slot < max_thread; slot++) {
        if (threads[slot] != NULL) {
            thr_thread_wait(threads[slot]);
            threads[slot] = NULL;
        }
    }
    if (release) {
        delete[] threads;
        threads = NULL;
    }
}

void PGM_COMMON::get_thread_count(int& count, bool logical)
{
    const int MAX_COUNT = 16;
    const int UNKNOWN_MACHINE_COUNT = 8;
    if (count >= 1) {
        if (count > MAX_COUNT)
            count = MAX_COUNT;
        return;
    }
    const bool known =
        logical ? GEN_MACHINE_INFO::get_logical_cpu_count(count) : GEN_MACHINE_INFO::get_core_cpu_count(count);
    if (!known)
        count = UNKNOWN_MACHINE_COUNT;
}

// Worker slots: a table of thread handles of the host thread library for
// threads the caller starts itself (thr_thread_start), a search for a free
// slot, and a wait for all of them. The table belongs to one controlling
// thread; the workers never touch it.
#pragma once

#include "host/host_types.h"
#include "host/thr.h"
#include "pgm/h/pgm_common_api.h"

class PGM_COMMON_API PGM_COMMON_THREAD {
public:
    // A new table of max_thread free (null) slots. The caller owns it until
    // wait_and_terminate_threads releases it.
    static THR_THREAD_STRUCT** create_threads(DWORD max_thread);
    // The index of a free slot, or of one whose thread has ended (that
    // thread is waited for and the slot cleared). Scans until one
    // qualifies, sleeping sleep_ms (at least 1) between full scans.
    static DWORD get_active_thread(THR_THREAD_STRUCT**& threads, DWORD max_thread, DWORD sleep_ms);
    // Waits for every started thread and clears its slot; with release the
    // table is released and threads set to null.
    static void wait_and_terminate_threads(THR_THREAD_STRUCT**& threads, DWORD max_thread, bool release);
};

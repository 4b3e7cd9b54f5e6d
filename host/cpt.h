// System library of the host suite: identifiers of the machine.
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <string>

class PGM_COMMON_API CPT_MANAGER {
public:
    // The process-wide manager.
    static CPT_MANAGER* get_cpt_mgr();
    // A stable text that identifies this host, one per kind 1 to 5; empty
    // for any other kind or when the machine does not tell.
    //   1 host name, 2 machine id, 3 hardware addresses of the network
    //   interfaces, 4 boot id of the running system, 5 processor description
    std::string get_local_hostid(int kind);
};

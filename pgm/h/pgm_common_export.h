// The library's exported interface outside the XML framework, with the
// host declarations it is used with.
#pragma once

#include "host/cfg.h"
#include "host/cpt.h"
#include "host/fio.h"
#include "host/gen.h"
#include "host/host_types.h"
#include "host/mem.h"
#include "host/mio.h"
#include "host/msg.h"
#include "host/thr.h"
#include "host/ver.h"
#include "host/vxl.h"

#include "pgm/h/pgm_brisol_fstream.h"
#include "pgm/h/pgm_common.h"
#include "pgm/h/pgm_common_cmd.h"
#include "pgm/h/pgm_common_digest.h"
#include "pgm/h/pgm_common_hmac_drbg.h"
#include "pgm/h/pgm_common_ini.h"
#include "pgm/h/pgm_common_msg.h"
#include "pgm/h/pgm_common_param_file.h"
#include "pgm/h/pgm_common_thread.h"
#include "pgm/h/pgm_common_zip.h"
#include "pgm/h/pgm_jam_crc_streambuf.h"
#include "pgm/h/pgmio_hex_reader.h"

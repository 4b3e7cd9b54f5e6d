// Every header under pgm/common/ includes this one first: they serve the
// library's own sources, which are compiled with PGM_COMMON_BUILD. Programs
// that use the library include the headers under pgm/h/ and host/.
#pragma once

#ifndef PGM_COMMON_BUILD
#error "pgm/common/ headers are internal to the pgm_common library: include the headers under pgm/h/ instead"
#endif

#include "pgmtool_frame.h"

int pgmtool_version(int argc, const char** argv);
int pgmtool_crc(int argc, const char** argv);
int pgmtool_trace(int argc, const char** argv);
int pgmtool_hex2bin(int argc, const char** argv);
int pgmtool_hexinfo(int argc, const char** argv);
int pgmtool_mif2bin(int argc, const char** argv);
int pgmtool_mem2bin(int argc, const char** argv);
int pgmtool_dat2rbf(int argc, const char** argv);
int pgmtool_rbf2dat(int argc, const char** argv);
int pgmtool_icd2bin(int argc, const char** argv);
int pgmtool_zip(int argc, const char** argv);
int pgmtool_sha(int argc, const char** argv);
int pgmtool_hmac(int argc, const char** argv);
int pgmtool_drbg(int argc, const char** argv);
int pgmtool_random(int argc, const char** argv);
int pgmtool_xml(int argc, const char** argv);
int pgmtool_param(int argc, const char** argv);
int pgmtool_ini(int argc, const char** argv);
int pgmtool_tree(int argc, const char** argv);

const std::vector<PGMTOOL_COMMAND>& pgmtool_commands()
{
    static const std::vector<PGMTOOL_COMMAND> commands = {
        {"version", "Print the versions of pgmtool and of the suite", pgmtool_version},
        {"crc", "Print the CRC of a file (crc16, x25, kermit, crc32)", pgmtool_crc},
        {"trace", "Print the developer trace file, or add a line to it", pgmtool_trace},
        {"hex2bin", "Write a hexadecimal record file as one binary image", pgmtool_hex2bin},
        {"hexinfo", "List the blocks of a hexadecimal record file", pgmtool_hexinfo},
        {"mif2bin", "Write a memory initialisation file (MIF) as packed bits", pgmtool_mif2bin},
        {"mem2bin", "Write a text memory file (one word per line) as bytes", pgmtool_mem2bin},
        {"dat2rbf", "Write a DAT file (one hexadecimal word per line) as binary", pgmtool_dat2rbf},
        {"rbf2dat", "Write a binary file as a DAT file", pgmtool_rbf2dat},
        {"icd2bin", "Write an ICD file (rows of bits as text) as packed bits", pgmtool_icd2bin},
        {"zip", "Create, list or extract a ZIP archive of stored members", pgmtool_zip},
        {"sha", "Print the SHA-256, SHA-384 or SHA-512 digest of a file", pgmtool_sha},
        {"hmac", "Print the HMAC-SHA-256 of a file under a key", pgmtool_hmac},
        {"drbg", "Print bytes of an HMAC_DRBG (SHA-256) built from a seed", pgmtool_drbg},
        {"random", "Print pseudo-random 32-bit values", pgmtool_random},
        {"xml", "Load, filter, validate and write an XML configuration file", pgmtool_xml},
        {"param", "List, get or set the parameters of a parameter file", pgmtool_param},
        {"ini", "List the named settings, or make and read protected settings", pgmtool_ini},
        {"tree", "Read a text tree, change fields by path and write it", pgmtool_tree},
    };
    return commands;
}

// The XML element model: descriptions and defaults, attribute and text
// access, the text conversions, tree edits with typed child lists, child
// counts and the name table.
#include "test_support.h"

#include "pgm/h/pgm_common_xml_export.h"

#include <climits>
#include <regex>
#include <set>
#include <sstream>
#include <type_traits>

namespace {

typedef PGM_COMMON_XML_ELEMENT ELEMENT;
typedef std::vector<ELEMENT*> ELEMENTS;
typedef std::vector<std::string> LOG;
typedef std::vector<std::vector<DWORD>> RANGES;
typedef PGM_COMMON_XML_HELPER HELPER;
const DWORD INF = DWORD(-1);
const PGM_COMMON_XML_ENUM RAW = PGM_COMMON_XML_ENUM_RAW_FILE, BIT = PGM_COMMON_XML_ENUM_BITSTREAM;
const PGM_COMMON_XML_ENUM PATH = PGM_COMMON_XML_ENUM_PATH, NO_ENUM = PGM_COMMON_XML_ENUM__INVALID__;
const BYTE OPT = PGM_XML_EXIST_OPTIONAL;
const char* const PFG_REFUSES_PATH = "Element \"PFG\" does not support child element \"PATH\"";

static_assert(!std::is_copy_constructible<ELEMENT>::value && !std::is_copy_assignable<ELEMENT>::value,
              "elements own their children and are not copied");

// A child with a text member that logs its tag when deleted; like the base
// it accepts children of any class.
class CHILD : public ELEMENT {
public:
    explicit CHILD(PGM_COMMON_XML_ENUM class_type, LOG* log = NULL, std::string tag = "",
                   PGM_COMMON_XML_ENUM sub_class_type = NO_ENUM)
        : ELEMENT(class_type, sub_class_type ? sub_class_type : class_type, PGM_XML_TYPE_STRING, OPT, "", "", &value),
          log_(log), tag_(tag)
    {
        init_check();
    }
    ~CHILD() override
    {
        if (log_)
            log_->push_back(tag_);
    }
    std::string value;

private:
    LOG* log_;
    std::string tag_;
};

// Binds every value type and keeps typed lists of RAW_FILE and BITSTREAM
// children as the generated classes do; counts its list rebuilds.
class PARENT : public ELEMENT {
public:
    PARENT() : ELEMENT(PGM_COMMON_XML_ENUM_PFG, PGM_COMMON_XML_ENUM_PFG, PGM_XML_TYPE_NONE, 2, "", "", NULL)
    {
        add("flag", PGM_XML_TYPE_BOOL, "ON", &flag);
        add("tristate", PGM_XML_TYPE_PGM_XML_BOOL, "", &tristate);
        add("count", PGM_XML_TYPE_INTEGER, "-3", &count);
        add("size", PGM_XML_TYPE_DWORD, "1 << 4", &size);
        add("label", PGM_XML_TYPE_STRING, "x", &label);
        add("id", PGM_XML_TYPE_CPP_STRING, "", &id);
        add("key", PGM_XML_TYPE_HEX_DATA, "0102A", &key);
        add("bytes", PGM_XML_TYPE_STDHEX_DATA, "", &bytes);
        add("side", PGM_XML_TYPE_ENUM, "_INVALID__", &side, "WEST|EAST");
        add("ignored", PGM_XML_TYPE_IGNORE, "", &label);
        init_check();
    }
    using ELEMENT::check_count;
    using ELEMENT::grouping;
    void check_child_count() override
    {
        check_count(RAW, {{1, 4}});
        ELEMENT::check_child_count();
    }

    bool flag = false;
    BYTE tristate = 0;
    int count = 0;
    DWORD size = 0;
    std::string label, id;
    PGM_COMMON_XML_HEX_DATA key, bytes;
    PGM_COMMON_XML_ENUM side = PGM_COMMON_XML_ENUM_NA;
    ELEMENTS raw_file, bitstream;
    int rebuilds = 0;

protected:
    void clear_childs() override
    {
        rebuilds++;
        raw_file.clear();
        bitstream.clear();
    }
    void group_child(ELEMENT* child, bool remove, bool back) override
    {
        const PGM_COMMON_XML_ENUM type = child->info.class_type;
        if (type != RAW && type != BIT)
            unsupported_child(child);
        ELEMENTS& list = type == RAW ? raw_file : bitstream;
        if (!remove)
            list.insert(back ? list.end() : list.begin(), child);
        else if (list.empty())
            MSG_INTERNAL_ERROR::report(type == RAW ? "raw_file.size()" : "bitstream.size()", "PGM_COMMON", "", 0);
        else
            list.erase(back ? list.end() - 1 : list.begin());
    }

private:
    void add(const char* name, BYTE type, const char* default_string, void* ptr, const char* enum_string = "")
    {
        attribute_info.push_back(PGM_COMMON_XML_ATTRIBUTE_INFO(name, type, OPT, default_string, enum_string, ptr));
    }
};

// Hex records bound from outside, so that their release can be seen.
class HEX_HOLDER : public ELEMENT {
public:
    HEX_HOLDER(PGM_COMMON_XML_HEX_DATA* text, PGM_COMMON_XML_HEX_DATA* key, PGM_COMMON_XML_HEX_DATA* bytes)
        : ELEMENT(PGM_COMMON_XML_ENUM_DATA, PGM_COMMON_XML_ENUM_DATA, PGM_XML_TYPE_HEX_DATA, OPT, "0A0B", "", text)
    {
        attribute_info.push_back(PGM_COMMON_XML_ATTRIBUTE_INFO("key", PGM_XML_TYPE_HEX_DATA, OPT, "11", "", key));
        attribute_info.push_back(
            PGM_COMMON_XML_ATTRIBUTE_INFO("bytes", PGM_XML_TYPE_STDHEX_DATA, OPT, "2233", "", bytes));
        init_check();
    }
};

std::vector<BYTE> hex_bytes(const PGM_COMMON_XML_HEX_DATA& hex) { return {hex.data, hex.data + hex.size}; }

struct ERROR_CASE {
    std::function<void()> call;
    const char* text;
};

} // namespace

// The name table as its users read it: "@N" marks index N, "?N" stands
// for N names of the library's own choosing (regulator kinds, tile variants).
const char* const NAME_TABLE = R"(
    @0 _INVALID__ WARMRST RD RDINC WR WRINC WRINT WRINCINT SDM LSM @10 CBSSM IO_SSM AIB_SSM VREXA_SSM
    UIB_SSM DIB_SSM USER SECTOR AIB IO @20 UIB DIB ESRAM UNICAST BROADCAST MULTICAST JTAG COMBI_MODE CNT2CNT
    CJTAG @30 CNT_TEST_EN ABORT_CLEAR ATPG_BYPASS ROUTER_PORT_EN SEQ_MODE NA AVST QSPI SDMMC NAND @40
    PWRMGT_SCL PWRMGT_SDA PWRMGT_ALERT PWRMGT_PWM CONF_DONE nCONF_DONE INIT_DONE nINIT_DONE CVP_DONE
    nCVP_DONE @50 SEU_ERROR nSEU_ERROR ZERO_FAIL nZERO_FAIL CATTRIP nCATTRIP PCIE_CALIB_START
    nPCIE_CALIB_START DATA_UNLOCK nDATA_UNLOCK @60 TAMPERDETECTION nTAMPERDETECTION TAMPERZEROIZATIONSTATUS
    nTAMPERZEROIZATIONSTATUS FUNC28 FUNC29 FUNC30 FUNC31 HPS_COLD_RESET nHPS_COLD_RESET @70 HPS_WARM_RESET
    nHPS_WARM_RESET LOADFACTORY nLOADFACTORY DEASSERT ASSERT WEST EAST TEST_WEST TEST_EAST @80 VREXA
    VREXA_CAL VREXA3_SPICO VREXA3_SERDES DISABLE ENABLE @86 ?5 @91 OTHER VOLT MILIVOLT AUTO DIRECT LINEAR
    100KHZ 400KHZ PMBUS_MASTER @100 PMBUS_SLAVE PWM_MASTER SINGLE DUAL QUAD 0 1 2 3 LOW @110 HIGH ACTIVE
    INACTIVE INDIVIDUAL EXTERNALLY_DECODE ACTIVE_ONLY ACTIVE_OR_ALL LOAD_ALL_IF_ANY_ACTIVE LUT2_ZERO
    LUT2_NOR @120 LUT2_ANDINVA LUT2_INVA LUT2_ANDINVB LUT2_INVB LUT2_XOR LUT2_NAND LUT2_AND LUT2_XNOR LUT2_B
    LUT2_ORINVA @130 LUT2_A LUT2_ORINVB LUT2_OR LUT2_ONE DAT FIX RANDOM @137 ?11 @148 AGGRESSIVE_ON
    ALL_GROUP_ON @150 PER_GROUP_ON OFF ON TARGET_ON ADVANCE_ON SEMI_ON SEMI_TARGET_ON SEMI_ADVANCE_ON
    CRAM_ONLY_ON CRAM_ONLY_TARGET_ON @160 CRAM_ONLY_ADVANCE_ON CRAM_ONLY_SEMI_ON CRAM_ONLY_SEMI_TARGET_ON
    CRAM_ONLY_SEMI_ADVANCE_ON ERAM_ONLY_ON ERAM_ONLY_TARGET_ON ERAM_ONLY_SEMI_ON ERAM_ONLY_SEMI_TARGET_ON
    FULL FRAGMENTED @170 NONE DENSE SPARSE CHECK SHA_NONE SHA_256 SHA_384 BA_ON LITE FW_FILE @180
    HEX_FIRMWARE IF_ACTION_END CNOC_SEND_ACTION IPC_HDR3 IPC_HDR2 IPC_HDR1 COMMAND_HEADER IPC_HDR0 IPC_DATA
    KEY_CHALLENGE_ACTION @190 CONFIG_PIN_ACTION PIN_ROLE PIN_STATE TIMING_SYNC_ACTION NOP ERAM_ABORT
    FIXED_ACTION FIRMWARE_VERSION FLAGS FIRMWARE_ID @200 OPERATION_ACTION OPERATION COMMENT_ACTION
    CNOC_DELAY_ACTION DELAY_CYCLES CHECK_CNT_STATUS_ACTION INDEXSIZE_ACTION FUSE_FILTER_ACTION
    INTERRUPT_WAIT_ACTION MAX_WAIT_TIME_MS @210 GENERIC_ACTION RAW_DATA IF_ACTION MULTICAST_ACTION
    MCAST_FILTER_ACTION CASTING_ACTION EXCEPT_ADDRESS ADDRESS SEND_REDUNDANCY_ACTION INFO_TYPE @220
    HPS_DOWNLOAD_ACTION HPS_DATA SBLOCK_INFO DYN_VAL OB_VAL INPUT_FILE PMSF_FILE SOF_OPERATION SOF_FILE
    DAT_DIRECTORY @230 WRITEBACK_FILE BITSTREAM CMF_SECTION IO_MAIN_SECTION FPGA_MAIN_SECTION
    PR_MAIN_SECTION ASIC_MAIN_SECTION HPIO_MAIN_SECTION DCIO_MAIN_SECTION HPS_MAIN_SECTION @240
    TEST_MAIN_SECTION FBRC_MAIN_SECTION DPB_MAIN_SECTION MAIN_SECTION TEST_JTAG_ACTION ARGUMENT
    VIAROM_XCVR_SETUP VIAROM_HASH_CHECK TEST_BURNIN NEW_CNT_MCAST_FILTER @250 FLUSH DUMMY_PADDING_BLOCK
    IOSSM_PARAM_TABLE UIBSSM_PARAM_TABLE DIBSSM_PARAM_TABLE RNRSSM_PARAM_TABLE PARAM_TABLE IOSSM_FIRMWARE
    MAIN_DESCRIPTOR POWER_TABLE @260 QSPI_TABLE DEVICE_SETTINGS PIN_TABLE PIN FIRMWARE DEV_PROV_NON_DIMK
    DEV_PROV_DIMK DEV_PROV_DATA CONFIG_TNM_ESRAM_ACTION PR_FIRMWARE @270 GPO_SETUP VREXA_FIRMWARE
    PR_CRAM_WORKAROUND CRAM ERAM CRAM_HIPI BBUS IO_CSR AIB_CSR VREXA_CSR @280 HIP_AVMM EHIP_AVMM AVMM2
    AIBAUX_REFCLK REGSCAN UIB_CSR UIB_BBUS DIB_BBUS ESRAM_BBUS BRAM @290 XCVR DATA INFO
    VIAROM_LOAD_CUSTOMISATION VIAROM_BRAM_SETUP VERIFY_HASH_ACTION DATA_HASH TOTAL_DATA_SIZE SECTOR_STARTUP
    OPTION_BITS @300 AIB_IGNORE_VREXA_FWD_DATA SETTINGS SSBLOCK_INFO DEVELOPER FBGEN BOOL HEX DECIMAL
    CANCEL_ID STARTUP_DELAY @310 PUBKEY_SIZE QUAD_BOOL RMA_COUNTER FLEX_BOOL PTS_COUNTER PTS_COUNTER_BASE
    SVN_COUNTER USER_CRC DIS_JTAG SECURE_CLOCK @320 AES_UPDATE FPGA_ZERORIZE HPS_ZERORIZE DIS_VIR_EFUSE
    DIS_HPS_DEBUG DIS_EFUSE_AES DIS_BBRAM_AES DIS_PUF_AES DIS_PUF_ENROLL FW_COSIGN @330 USER_FUSES FUSES
    FUSE FUSE_DB WRITE_REG READ_REG WRITE_DATA READ_DATA ERASE CUSTOM @340 GOLDEN_TEMPLATE CYPRESS
    PROGRAMMING_FLOW TERMINATION ACTION EXPECTED_DATA_MASK EXPECTED_DATA NAME DATA_LENGTH DIRECTION @350
    ATTEMPT_COUNT ERASE_SIZE DELAY COMMAND PAGE_SIZE ADDRESSING_MODE ACT_DUMMY_CLOCK_CYCLE BUS_WIDTH
    DESCRIPTION INITIALIZATION @360 PROGRAM VERIFY_BLANKCHECK_EXAMINE SFL MICRON MACRONIX WINBOND FLASH
    DEVICE_INFO TOTAL_DEVICE_DIE DUMMY_CLOCK_CYCLE_X4 @370 PROG_FLOW_TEMPLATE DEVICE_NAME DUMMY_CLOCK_CYCLE
    DEVICE_ID DEVICE_IO_VOLTAGE DEVICE_DENSITY USER_TEMPLATE TEMPLATE_NAME QSPI_FLASH SDMMC_FLASH @380 PS
    FPP ASX1 ASX4 AVSTX8 AVSTX16 AVSTX32 INTERNAL RBF TTF @390 JIC POF RPD PRRBF CVP_CORE_RBF HPS_CORE_RBF
    PERIPH_RBF PERIPH_JIC PERIPH_POF PERIPH_RPD @400 MAP SEC_RPD JAM JBC SVF EKP QSPI_HELPER_RBF HELPER_RBF
    HELPER_RBF_CMD SOF @410 PUF WKEY CCERT NON_JTAG_PROVISION_RBF RIM ABS REL HPS ALL PEM @420 UP DOWN 1_5V
    1_8V 2_5V 3_3V 5_0V P V PB @430 INVALID IID_PUF_WRAPPED_AES_KEY ORVAN_PUF_WRAPPED_AES_KEY BBRAM_AES_KEY
    BBRAM_WRAPPED_AES_KEY BBRAM_IID_PUF_WRAPPED_AES_KEY BBRAM_ORVAN_PUF_WRAPPED_AES_KEY
    EFUSE_WRAPPED_AES_KEY EFUSE_IID_PUF_WRAPPED_AES_KEY EFUSE_ORVAN_PUF_WRAPPED_AES_KEY @440 CANCEL_KEY_HASH
    CANCEL_ORVAN_KEY CANCEL_OWNER_KEY SVN_COUNTER_0 SVN_COUNTER_1 SVN_COUNTER_2 SVN_COUNTER_3
    PR_PUBKEY_PROG_AUTH DEVICE_PERMIT_KILL PROVISION @450 DEBUG RAW_FILES RAW_FILE ASSIGNMENTS ASSIGNMENT
    RAW_FILE_ID BITSTREAM_ID BITSTREAMS PATH FLASH_DEVICES @460 FLASH_LOADER FLASH_DEVICE PARTITION MBR
    OUTPUT_FILES OUTPUT_FILE PROVISION_OPTIONS SECONDARY_FILE FILE_OPTIONS CCERT_OPTIONS @470
    FLASH_DEVICE_ID PFG _MAX__
)";

TEST(XmlElementValues, NameTableAndConversions)
{
    std::istringstream words(NAME_TABLE);
    std::set<std::string> seen;
    DWORD index = 0;
    for (std::string word; words >> word;) {
        if (word[0] == '@') {
            EXPECT_EQ(std::stoul(word.substr(1)), index) << "a marker out of step at " << word;
            continue;
        }
        DWORD count = word[0] == '?' ? std::stoul(word.substr(1)) : 1;
        for (DWORD end = index + count; index < end; index++) {
            std::string name = PGM_COMMON_XML_UTIL::convert_enum_to_string(PGM_COMMON_XML_ENUM(index));
            if (word[0] == '?')
                EXPECT_TRUE(std::regex_match(name, std::regex("[A-Z][A-Z0-9_]*"))) << index << " " << name;
            else
                EXPECT_EQ(word, name) << "entry " << index;
            EXPECT_TRUE(seen.insert(name).second) << name << " twice";
            EXPECT_EQ(index, DWORD(HELPER::convert_string_to_enum(name))) << name;
        }
    }
    EXPECT_EQ(473u, index);
    EXPECT_EQ(472, int(PGM_COMMON_XML_ENUM__MAX__));
    EXPECT_EQ(PGM_COMMON_XML_ENUM_PFG, PGM_COMMON_XML_UTIL::convert_string_to_enum("PFG", true));
    EXPECT_EQ(NO_ENUM, PGM_COMMON_XML_UTIL::convert_string_to_enum("pfg", false));
    EXPECT_EQ("-2147483648", PGM_COMMON_XML_UTIL::convert_dword_to_string(0x80000000));
    EXPECT_EQ(PGM_COMMON_XML_ENUM_WEST, HELPER::convert_string_to_enum("WEST", "WEST|EAST", '|'));
    EXPECT_EQ(PGM_COMMON_XML_ENUM_EAST, HELPER::convert_string_to_enum("EAST", "WEST,EAST", ','));
    EXPECT_EQ(PGM_COMMON_XML_ENUM_WEST, HELPER::convert_string_to_enum("WEST", "WEST||EAST", '|')); // first match ends
    for (auto b : std::vector<std::pair<const char*, BYTE>>{
             {"ON", 1}, {"1", 1}, {"true", 1}, {"OFF", 0}, {"0", 0}, {"false", 0}, {"tristate", 2}, {"", 2}}) {
        EXPECT_EQ(b.second, HELPER::get_pgm_xml_boolean(b.first)) << b.first;
        EXPECT_TRUE(b.second == 2 || HELPER::get_boolean(b.first) == (b.second == 1)) << b.first;
    }
    EXPECT_TRUE(PGM_COMMON_XML::get_final_booloean(2, true) && PGM_COMMON_XML::get_final_booloean(1, false));
    EXPECT_FALSE(PGM_COMMON_XML::get_final_booloean(2, false) || PGM_COMMON_XML::get_final_booloean(0, true));
    for (const char* text : {"", "a", "Abc_9", "a__b"})
        EXPECT_EQ(text, HELPER::check_cpp_string(text));
}

TEST(XmlElementValues, HexDataReplacedOnlyAfterConversion)
{
    PGM_COMMON_XML_HEX_DATA hex;
    HELPER::get_hex_data(hex, "0102A"); // one number, its last digits byte 0
    EXPECT_EQ(std::vector<BYTE>({0x2A, 0x10, 0x00}), hex_bytes(hex));
    HELPER::get_stdhex_data(hex, "0A0B");
    const BYTE* kept = hex.data;
    EXPECT_INTERNAL_ERROR(HELPER::get_hex_data(hex, "1G"), "Invalid hex string to BYTE array conversion: 1G");
    EXPECT_INTERNAL_ERROR(HELPER::get_stdhex_data(hex, "123"), "(hex_string.size() % 2) == 0");
    EXPECT_EQ(kept, hex.data); // a refused text leaves the record and its bytes
    EXPECT_EQ(std::vector<BYTE>({0x0A, 0x0B}), hex_bytes(hex));
    HELPER::get_hex_data(hex, "");
    EXPECT_TRUE(hex.size == 0 && hex.data == nullptr);
}

TEST(XmlElementValues, AssignAndDefaults)
{
    typedef PGM_COMMON_XML X;
    int integer = 7;
    X::assign_xml_value(&integer, PGM_XML_TYPE_INTEGER, OPT, "", "", false); // empty text from a file: kept
    EXPECT_EQ(7, integer);
    X::assign_xml_value(&integer, PGM_XML_TYPE_INTEGER, OPT, "", "", true);
    EXPECT_EQ(0, integer);
    DWORD dword = 0;
    X::assign_xml_value(&dword, PGM_XML_TYPE_DWORD, OPT, "1 << 4|1", "", false);
    EXPECT_EQ(17u, dword);
    X::assign_xml_value(NULL, PGM_XML_TYPE_STRING, OPT, "kept in the record only", "", true);
    X::assign_xml_value(NULL, PGM_XML_TYPE_IGNORE, OPT, "anything", "", false);
    PGM_COMMON_XML_HEX_DATA hex;
    X::assign_xml_value(&hex, PGM_XML_TYPE_STDHEX_DATA, OPT, "0102", "", false);
    X::assign_xml_value(&hex, PGM_XML_TYPE_STDHEX_DATA, OPT, "", "", false);
    EXPECT_EQ(std::vector<BYTE>({0x01, 0x02}), hex_bytes(hex));
    X::assign_xml_value(&hex, PGM_XML_TYPE_HEX_DATA, OPT, "", "", true);
    EXPECT_TRUE(hex.size == 0 && hex.data == nullptr);

    PARENT p;
    EXPECT_TRUE(p.flag && p.tristate == 2 && p.count == -3 && p.size == 16 && p.label == "x" && p.bytes.size == 0);
    EXPECT_EQ(std::vector<BYTE>({0x2A, 0x10, 0x00}), hex_bytes(p.key));
    EXPECT_EQ(NO_ENUM, p.side);                 // although "_INVALID__" is not in WEST|EAST
    EXPECT_TRUE(p.is_attribute_empty("label")); // defaults leave the texts empty
    EXPECT_EQ(3u, p.get_attribute_index("flag"));
    CHILD io(PGM_COMMON_XML_ENUM_MAIN_SECTION, NULL, "", PGM_COMMON_XML_ENUM_IO_MAIN_SECTION);
    EXPECT_EQ(PGM_COMMON_XML_ENUM_IO_MAIN_SECTION, io.info.sub_class_type);
    ASSERT_EQ(3u, io.attribute_info.size());
    for (const PGM_COMMON_XML_ATTRIBUTE_INFO& a : io.attribute_info)
        EXPECT_TRUE(a.type == PGM_XML_TYPE_STRING && a.exist == OPT && a.ptr == NULL && a.default_string.empty());
    EXPECT_TRUE(io.get_attribute_index("__if_continue__") == 0 && io.get_attribute_index("__hidden__") == 2);
}

TEST(XmlElementAttributes, ReadAndWrite)
{
    PARENT p;
    p.write_attribute_enum("side", NO_ENUM); // changes nothing
    EXPECT_TRUE(p.is_attribute_empty("side"));
    p.write_attribute_enum("side", PGM_COMMON_XML_ENUM_EAST);
    p.write_attribute_enum("side", NO_ENUM);
    EXPECT_EQ("EAST", p.read_attribute_string("side"));
    EXPECT_EQ(PGM_COMMON_XML_ENUM_EAST, p.read_attribute_enum("side"));
    // A refused value changes neither the text nor the member.
    EXPECT_INTERNAL_ERROR(p.write_attribute_string("side", "NORTH"),
                          "Supported string are \"WEST|EAST\", but the input is \"NORTH\"");
    EXPECT_TRUE(p.read_attribute_string("side") == "EAST" && p.side == PGM_COMMON_XML_ENUM_EAST);

    p.write_attribute_value("count", 0x80000000);
    EXPECT_EQ("-2147483648", p.read_attribute_string("count"));
    EXPECT_EQ(INT_MIN, p.count);
    EXPECT_EQ(0x80000000u, p.read_attribute_value("count"));
    p.write_attribute_value("size", 0x80000000);
    EXPECT_EQ(0x80000000u, p.size);
    p.write_attribute_string("size", "0x20");
    EXPECT_TRUE(p.read_attribute_value("size") == 32 && p.read_attribute_enum("size") == 32);
    p.write_attribute_string("flag", "false");
    p.write_attribute_string("tristate", "1");
    p.write_attribute_string("bytes", "A1B2");
    EXPECT_TRUE(!p.read_attribute_bool("flag") && p.read_attribute_xml_bool("tristate") == 1);
    EXPECT_EQ(std::vector<BYTE>({0xA1, 0xB2}), hex_bytes(p.bytes));
    for (const char* name : {"label", "key", "bytes"}) // an empty text resets strings and hex records
        p.write_attribute_string(name, "");
    EXPECT_TRUE(p.label.empty() && p.key.size == 0 && p.key.data == nullptr && p.bytes.data == nullptr);
    p.write_attribute_string("__if_skip__", "A|B");
    EXPECT_EQ("A|B", p.read_attribute_string("__if_skip__"));

    CHILD c(RAW);
    c.write_string("abc");
    c.write_string(""); // an empty text keeps the member
    EXPECT_TRUE(c.value == "abc" && c.info.string.empty());
    c.write_value(0xFFFFFFFF);
    EXPECT_EQ("-1", c.value);
    c.write_enum(PGM_COMMON_XML_ENUM_EAST);
    EXPECT_EQ("EAST", c.info.string);
}

TEST(XmlElementTree, AddRemoveAndTypedLists)
{
    LOG log;
    PARENT p;
    CHILD *r1 = new CHILD(RAW, &log, "r1"), *b1 = new CHILD(BIT, &log, "b1"), *r2 = new CHILD(RAW, &log, "r2");
    CHILD *r0 = new CHILD(RAW, &log, "r0"), *b2 = new CHILD(BIT, &log, "b2");
    for (ELEMENT* e : {r1, b1, r2})
        p.add_child(e);
    p.add_child(r0, r1); // before the first: put first in its list
    p.add_child(b2, r2); // before a middle one: lists rebuilt
    EXPECT_EQ(ELEMENTS({r0, r1, b1, b2, r2}), p.get_childs());
    EXPECT_TRUE(p.raw_file == ELEMENTS({r0, r1, r2}) && p.bitstream == ELEMENTS({b1, b2}));
    EXPECT_TRUE(r0->get_parent() == &p && p.rebuilds == 1);

    CHILD stranger(PATH); // refused, so not attached and still ours
    EXPECT_INTERNAL_ERROR(p.add_child(&stranger), PFG_REFUSES_PATH);
    EXPECT_INTERNAL_ERROR(p.add_child(&stranger, b2), PFG_REFUSES_PATH);
    EXPECT_INTERNAL_ERROR(p.remove_child(&stranger, false), "front || back || found");
    EXPECT_TRUE(p.get_childs() == ELEMENTS({r0, r1, b1, b2, r2}) && p.raw_file == ELEMENTS({r0, r1, r2}));

    p.rebuilds = 0;
    p.remove_child(r0, true);  // first: only the front of its list
    p.remove_child(r2, false); // last: only the back of its list
    EXPECT_TRUE(p.rebuilds == 0 && p.raw_file == ELEMENTS({r1}));
    p.remove_child(b1, true); // middle: lists rebuilt
    EXPECT_TRUE(p.rebuilds == 1 && p.get_childs() == ELEMENTS({r1, b2}));
    EXPECT_TRUE(p.raw_file == ELEMENTS({r1}) && p.bitstream == ELEMENTS({b2}));
    EXPECT_EQ(LOG({"r0", "b1"}), log);
    EXPECT_EQ(&p, r2->get_parent()); // a detached element keeps its parent field
    delete r2;
    p.bitstream.clear(); // lists out of step are reported by the list's name, the tree unchanged
    EXPECT_INTERNAL_ERROR(p.remove_child(b2, false), "bitstream.size()");
    EXPECT_EQ(ELEMENTS({r1, b2}), p.get_childs());
    p.grouping();
}

TEST(XmlElementTree, SetChildsUngroupAndDestroy)
{
    LOG log;
    PARENT* p = new PARENT;
    CHILD *r1 = new CHILD(RAW, &log, "r1"), *b1 = new CHILD(BIT, &log, "b1"), *r2 = new CHILD(RAW, &log, "r2");
    CHILD *g1 = new CHILD(PATH, &log, "g1"), *g2 = new CHILD(PATH, &log, "g2"), stranger(PATH);
    p->add_child(r1);
    ELEMENTS list = {b1, r2};
    p->set_childs(list); // the typed lists cover the children held before and those moved in
    EXPECT_TRUE(list.empty() && p->get_childs() == ELEMENTS({r1, b1, r2}) && r2->get_parent() == p);
    EXPECT_TRUE(p->raw_file == ELEMENTS({r1, r2}) && p->bitstream == ELEMENTS({b1}));
    for (ELEMENTS bad : {ELEMENTS({g1, NULL}), ELEMENTS({g1, &stranger})}) { // nothing moves in
        const ELEMENTS before = bad;
        EXPECT_INTERNAL_ERROR(p->set_childs(bad), bad[1] ? PFG_REFUSES_PATH : "e != NULL");
        EXPECT_TRUE(bad == before && p->raw_file == ELEMENTS({r1, r2}) && p->get_childs().size() == 3);
    }
    b1->add_child(g1);
    g1->add_child(g2);
    p->ungroup_all_child();
    EXPECT_TRUE(p->get_childs().empty() && p->raw_file.empty() && b1->get_childs().empty());
    EXPECT_TRUE(g1->get_childs().empty() && log.empty());
    list = {r1, b1, r2};
    p->set_childs(list);
    b1->add_child(g1);
    g1->add_child(g2);
    delete p; // last first; each logs before its own children go
    EXPECT_EQ(LOG({"r2", "b1", "g1", "g2", "r1"}), log);

    PGM_COMMON_XML_HEX_DATA text, key, bytes, shared;
    HEX_HOLDER* holder = new HEX_HOLDER(&text, &key, &bytes);
    EXPECT_TRUE(hex_bytes(text) == std::vector<BYTE>({0x0B, 0x0A}) &&
                hex_bytes(bytes) == std::vector<BYTE>({0x22, 0x33}));
    delete holder; // releases the text's and the attributes' bytes
    EXPECT_TRUE(text.data == nullptr && key.data == nullptr && bytes.data == nullptr);
    delete new HEX_HOLDER(&shared, &shared, &shared); // bound three times, released once
    EXPECT_EQ(nullptr, shared.data);
}

TEST(XmlElementTree, QueriesAndChildCounts)
{
    PARENT p;
    CHILD* io = new CHILD(BIT, NULL, "", PGM_COMMON_XML_ENUM_IO_MAIN_SECTION);
    for (ELEMENT* e : ELEMENTS{new CHILD(RAW), io, new CHILD(BIT)})
        p.add_child(e);
    EXPECT_EQ(3u, p.get_child_count(NO_ENUM, false));
    EXPECT_TRUE(p.get_child_count(BIT, false) == 2 && p.get_child_count(BIT, true) == 1);
    EXPECT_EQ(ELEMENTS({io}), p.get_childs(PGM_COMMON_XML_ENUM_IO_MAIN_SECTION, true));
    EXPECT_TRUE(p.get_element(NO_ENUM, 1, false) == io && p.get_element(BIT, 0, false) == io);

    const char* const form =
        "Element PFG has invalid BITSTREAM child count, expected invalid range is \"%s\" but found %d";
    const struct {
        DWORD n;
        RANGES ranges;
        const char* range_text; // null when the count matches
    } counts[] = {{0, {{0}, {INF}}, NULL}, {5, {{0}, {INF}}, NULL},    {1, {{INF}}, NULL},  {0, {{INF}}, "infinity"},
                  {5, {{1, 4}}, "1 - 4"},   {4, {{1, 4}}, NULL},        {2, {{2}}, NULL},    {0, {}, ""},
                  {1, {{0}, {2, 3}}, "0, 2 - 3"},                       {3, {{0}, {2, 3}}, NULL}};
    for (const auto& c : counts) {
        PARENT q;
        for (DWORD i = 0; i < c.n; i++)
            q.add_child(new CHILD(BIT));
        if (!c.range_text) {
            q.check_count(BIT, c.ranges);
            continue;
        }
        char text[200];
        snprintf(text, sizeof(text), form, c.range_text, int(c.n));
        EXPECT_INTERNAL_ERROR(q.check_count(BIT, c.ranges), text);
    }
    p.check_child_count(); // reaches every descendant through the base version
    io->add_child(new PARENT);
    EXPECT_INTERNAL_ERROR(
        p.check_child_count(),
        "Element PFG has invalid RAW_FILE child count, expected invalid range is \"1 - 4\" but found 0");
}

TEST(XmlElementErrors, EveryConditionText)
{
    typedef PGM_COMMON_XML X;
    typedef PGM_COMMON_XML_UTIL UTIL;
    PARENT p, empty;
    CHILD c(RAW), stranger(PATH);
    p.add_child(new CHILD(RAW));
    int member = 0;
    PGM_COMMON_XML_ENUM e;
    std::vector<PGM_COMMON_XML_ATTRIBUTE_INFO> attributes;
    auto info = [](DWORD class_type, BYTE type, BYTE exist) {
        PGM_COMMON_XML_INFO(PGM_COMMON_XML_ENUM(class_type), PATH, type, exist, "", "", NULL);
    };
    auto attribute = [](const char* name, BYTE type, BYTE exist, void* ptr) {
        PGM_COMMON_XML_ATTRIBUTE_INFO(name, type, exist, "", "", ptr);
    };
    // init_check of a text description without a value type, one field changed
    auto init = [&](const char* string, const char* default_string, BYTE exist, void* ptr) {
        PGM_COMMON_XML_INFO text(PATH, PATH, PGM_XML_TYPE_NONE, exist, default_string, "", ptr);
        text.string = string;
        X::init_check(text, attributes);
    };
    auto no_member = [&](const char* name) { p.attribute_info[p.get_attribute_index(name)].ptr = NULL; };
    const char* const bad_class =
        "class_type != PGM_COMMON_XML_ENUM__INVALID__ && class_type <= PGM_COMMON_XML_ENUM__MAX__";
    const char* const bad_type = "type != PGM_XML_TYPE_NONE && type < PGM_XML_TYPE_INVALID";
    const char* const bad_boolean = "string == \"OFF\" || string == \"0\" || string == \"false\"";
    const char* const bad_start = "string.at(0) != '_' && !(string.at(0) >= '0' && string.at(0) <= '9')";
    const char* const bad_char = "((*i) >= 'a' && (*i) <= 'z') || ((*i) >= 'A' && (*i) <= 'Z') || "
                                 "((*i) >= '0' && (*i) <= '9') || ((*i) == '_')";
    const char* const bad_list = "enum_string.size() && enum_string.at(0) != seperator && "
                                 "enum_string.at(enum_string.size()-1) != seperator";
    const char* const no_text = "info.ptr != NULL && info.exist != PGM_XML_EXIST_MUST_NOT";
    const char* const range_size = "range.size() == 1 || range.size() == 2";
    const char* const not_listed = "Supported string are \"WEST|EAST\", but the input is \"NORTH\"";
    const char* const no_enum = "xml_enum != PGM_COMMON_XML_ENUM__INVALID__";
    const ERROR_CASE cases[] = {
        {[] { PGM_COMMON_XML_INFO(); }, "class_type != PGM_COMMON_XML_ENUM__INVALID__"},
        {[] { ELEMENT(); }, "class_type != PGM_COMMON_XML_ENUM__INVALID__"},
        {[&] { info(0, 0, 2); }, bad_class},
        {[&] { info(473, 0, 2); }, bad_class},
        {[&] { info(1, 11, 2); }, "type < PGM_XML_TYPE_INVALID"},
        {[&] { info(1, 0, 3); }, "exist < PGM_XML_EXIST_INVALID"},
        {[&] { attribute("", 5, 1, &member); }, "name.size()"},
        {[&] { attribute("a", 11, 1, &member); }, "type < PGM_XML_TYPE_INVALID"},
        {[&] { attribute("a", 5, 3, &member); }, "exist < PGM_XML_EXIST_INVALID"},
        {[&] { attribute("__if_continue__", 5, 1, &member); }, "ptr == NULL"},
        {[&] { attribute("__if_skip__", 5, 1, &member); }, "ptr == NULL"},
        {[&] { attribute("__hidden__", 5, 1, &member); }, "ptr == NULL"},
        {[&] { attribute("__HIDDEN__", 5, 1, NULL); }, "ptr != NULL"},
        {[&] { init("read", "", 2, NULL); }, "info.string.size() == 0"},
        {[&] { init("", "x", 2, NULL); }, "info.default_string.size() == 0"},
        {[&] { init("", "", 1, NULL); }, "info.exist == PGM_XML_EXIST_MUST_NOT"},
        {[&] { init("", "", 2, &member); }, "info.ptr == NULL"},
        {[] { X::assign_xml_value(NULL, 0, 1, "1", "", true); }, bad_type},
        {[] { X::assign_xml_value(NULL, 11, 1, "1", "", true); }, bad_type},
        {[] { X::assign_xml_value(NULL, PGM_XML_TYPE_BOOL, 1, "ON", "", true); }, "ptr != NULL"},
        {[&] { X::assign_xml_value(&e, PGM_XML_TYPE_ENUM, 1, "_INVALID__", "WEST|EAST", false); },
         "Supported string are \"WEST|EAST\", but the input is \"_INVALID__\""},
        {[] { HELPER::get_boolean(""); }, bad_boolean},
        {[] { HELPER::get_boolean("tristate"); }, bad_boolean},
        {[] { HELPER::get_pgm_xml_boolean("on"); }, bad_boolean},
        {[] { HELPER::check_cpp_string("_a"); }, bad_start},
        {[] { HELPER::check_cpp_string("9a"); }, bad_start},
        {[] { HELPER::check_cpp_string("a_"); }, "string.at(string.size() - 1) != '_'"},
        {[] { HELPER::check_cpp_string("a-b"); }, bad_char},
        {[] { HELPER::check_cpp_string("a\xE4"); }, bad_char},
        {[] { HELPER::convert_string_to_enum("NORTH", "WEST|EAST", '|'); }, not_listed},
        {[] { HELPER::convert_string_to_enum("WEST", "WEST", '|'); }, "seperator_count"},
        {[] { HELPER::convert_string_to_enum("NORTH", "WEST", '|'); }, "seperator_count"},
        {[] { HELPER::convert_string_to_enum("EAST", "WEST||EAST", '|'); }, "temp.size()"},
        {[] { HELPER::convert_string_to_enum("NORTH", "NORTH|WEST", '|'); }, "found"},
        {[] { HELPER::convert_string_to_enum("WEST", "", '|'); }, bad_list},
        {[] { HELPER::convert_string_to_enum("WEST", "WEST|EAST|", '|'); }, bad_list},
        {[] { HELPER::convert_string_to_enum("pfg"); }, "found"},
        {[] { UTIL::convert_string_to_enum("pfg", true); }, no_enum},
        {[] { UTIL::convert_string_to_enum("_INVALID__", true); }, no_enum},
        {[] { UTIL::convert_enum_to_string(PGM_COMMON_XML_ENUM(473)); }, "e <= PGM_COMMON_XML_ENUM__MAX__"},
        {[&] { p.read_attribute_string("nothing"); }, "i != attribute_info.end()"},
        {[&] { p.write_attribute_enum("nothing", NO_ENUM); }, "i != attribute_info.end()"},
        {[&] { p.read_attribute_bool("count"); }, "(*i).type == PGM_XML_TYPE_BOOL"},
        {[&] { p.read_attribute_xml_bool("flag"); }, "(*i).type == PGM_XML_TYPE_PGM_XML_BOOL"},
        {[&] { p.read_attribute_value("label"); }, "(*i).type == PGM_XML_TYPE_DWORD"},
        {[&] { p.read_attribute_enum("flag"); }, "(*i).type == PGM_XML_TYPE_DWORD"},
        {[&] { p.read_attribute_enum("__hidden__"); }, "(*i).type == PGM_XML_TYPE_DWORD"},
        {[&] { p.write_attribute_value("size", 473), p.read_attribute_enum("size"); },
         "value <= PGM_COMMON_XML_ENUM__MAX__"},
        {[&] { no_member("count"), p.read_attribute_value("count"); }, "temp != NULL"},
        {[&] { no_member("size"), p.read_attribute_enum("size"); }, "temp != NULL"},
        {[&] { p.write_string("x"); }, no_text},
        {[&] { c.info.exist = PGM_XML_EXIST_MUST_NOT, c.write_value(1); }, no_text},
        {[&] { p.add_child(NULL); }, "e != NULL"},
        {[&] { p.add_child(&stranger, &stranger); }, "found"},
        {[&] { p.remove_child(NULL, false); }, "e != NULL"},
        {[&] { empty.remove_child(&stranger, false); }, "childs.size()"},
        {[&] { stranger.get_parent(); }, "parent != NULL"},
        {[&] { p.get_childs(NO_ENUM, false); }, "e != PGM_COMMON_XML_ENUM__INVALID__"},
        {[&] { p.get_element(NO_ENUM, 1, false); }, "index < DWORD(childs.size())"},
        {[&] { p.get_element(RAW, 1, false); }, "index < DWORD(subchilds.size())"},
        {[&] { p.check_count(PATH, RANGES{{1, INF}}); }, "range.at(0) != -1 && range.at(1) != -1"},
        {[&] { p.check_count(PATH, RANGES{{3, 3}}); }, "range.at(0) < range.at(1)"},
        {[&] { p.check_count(PATH, RANGES{{}}); }, range_size},
        {[&] { p.check_count(PATH, RANGES{{1}, {1, 2, 3}}); }, range_size},
    };
    for (const ERROR_CASE& error_case : cases)
        EXPECT_INTERNAL_ERROR(error_case.call(), error_case.text);
}

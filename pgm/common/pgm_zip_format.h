// Record signatures of the ZIP format and the reader of their fields,
// shared by the archive reader, the lister and the writer.
#pragma once

#include "pgm/common/pgm_internal.h"

#include "host/host_types.h"
#include "pgm/h/pgm_common_zip.h"

#include <string>

const DWORD LOCAL_FILE_HEADER_SIGNATURE = 0x04034B50;
const DWORD DATA_DESCRIPTOR_SIGNATURE = 0x08074B50;
const DWORD ARCHIVE_EXTRA_DATA_SIGNATURE = 0x08064B50;
const DWORD CENTRAL_DIRECTORY_SIGNATURE = 0x02014B50;
const DWORD DIGITAL_SIGNATURE_SIGNATURE = 0x05054B50;
const DWORD ZIP64_END_RECORD_SIGNATURE = 0x06064B50;
const DWORD ZIP64_END_LOCATOR_SIGNATURE = 0x07064B50;
const DWORD END_RECORD_SIGNATURE = 0x06054B50;

inline const char* const SIZE_REASON = "Incorrect input zip file size";

// Reads little-endian fields of an archive at a position that it advances.
// A field that does not lie wholly inside the archive sets the reason.
class FIELD_READER {
public:
    FIELD_READER(const BYTE* data, DWORD size, DWORD& position, std::string& reason)
        : data_(data), size_(size), position_(position), reason_(reason)
    {
    }

    bool bytes(DWORD count, const BYTE*& at)
    {
        if (QWORD(position_) + count > size_) {
            reason_ = SIZE_REASON;
            return false;
        }
        at = data_ + position_;
        position_ += count;
        return true;
    }
    bool skip(DWORD count)
    {
        const BYTE* at = nullptr;
        return bytes(count, at);
    }
    bool text(DWORD count, std::string& value)
    {
        const BYTE* at = nullptr;
        if (!bytes(count, at))
            return false;
        value.assign(reinterpret_cast<const char*>(at), count);
        return true;
    }
    bool word(WORD& value) { return number(value); }
    bool dword(DWORD& value) { return number(value); }
    bool qword(QWORD& value) { return number(value); }

private:
    template <typename T> bool number(T& value)
    {
        const BYTE* at = nullptr;
        if (!bytes(sizeof(T), at))
            return false;
        value = 0;
        for (size_t i = sizeof(T); i-- > 0;)
            value = T(value << 8 | at[i]);
        return true;
    }

    const BYTE* data_;
    DWORD size_;
    DWORD& position_;
    std::string& reason_;
};

// A central directory header as the archive holds it.
struct PGM_COMMON_ZIP::CENTRAL_DIRECTORY {
    DWORD signature = 0;
    WORD version_made_by = 0;
    WORD version = 0;
    WORD flags = 0;
    WORD method = 0;
    WORD time = 0;
    WORD date = 0;
    DWORD crc = 0;
    DWORD compressed_size = 0;
    DWORD uncompressed_size = 0;
    WORD name_length = 0;
    WORD extra_length = 0;
    WORD comment_length = 0;
    WORD disk_number_start = 0;
    WORD internal_attributes = 0;
    DWORD external_attributes = 0;
    DWORD local_header_offset = 0;
    std::string name;
    std::string extra;
    std::string comment;
};

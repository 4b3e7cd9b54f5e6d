// Memory initialisation file library of the host suite: parses a memory
// initialisation file (header assignments, then CONTENT BEGIN ... END;)
// into its word size, word count, data radix and data words as digit
// strings; and converts digit strings of any length between radixes.
//
// The format read:
//   WIDTH = 8;  DEPTH = 256;  ADDRESS_RADIX = HEX;  DATA_RADIX = HEX;
//   CONTENT BEGIN
//       0 : 12;            -- one word
//       1 : 34 56 78;      -- words at 1, 2 and 3
//       [10..1F] : FF;     -- a range filled with one word
//       [20..2F] : 1 2;    -- a range filled by repeating the list
//   END;                   -- (a list no longer than its range)
// The header assignments come in any order and end with ';'. WIDTH and DEPTH
// are required positive decimal numbers; the radixes (BIN, OCT, DEC, HEX,
// UNS) are HEX when not given. Keywords ignore case; "--" comments run to the
// end of the line, "%" comments to the next "%". Later entries override
// earlier ones; words no entry sets read "0". Data words keep the digits as
// written (a character that is no digit of the radix is left for
// big_radix_conversion to refuse) and have at most WIDTH digits (64 for
// narrower words); a decimal word (DEC or UNS) has, its leading zeros aside,
// at most ceil(WIDTH x log10(2)) + 1 digits. The value of a word must fit
// WIDTH bits. Under DATA_RADIX DEC a word "-n" is stored as the decimal
// digits of its two's complement at WIDTH bits, and must be at least
// -2^(WIDTH-1) (WIDTH of at most 65536 for such words).
#pragma once

#include "pgm/h/pgm_common_api.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Radix of a file's words, as get_memory_radix answers it.
enum MIO_RADIX_ENUM { MIO_RADIX_BIN = 0, MIO_RADIX_HEX = 1, MIO_RADIX_UNS = 2, MIO_RADIX_DEC = 3, MIO_RADIX_OCT = 4 };

// Codes of big_radix_conversion.
enum BIG_RADIX_ENUM { BIG_RADIX_BIN = 0, BIG_RADIX_OCT = 1, BIG_RADIX_DEC = 2, BIG_RADIX_HEX = 3, BIG_RADIX_UNS = 4 };

class PGM_COMMON_API MIO_FILE {
public:
    explicit MIO_FILE(bool read_only);
    void set_file_type(int type);                        // 1: memory initialisation file
    void set_file_name(const std::string& path);
    // Recorded only: words the file leaves unset always read "0".
    void set_pad_type_and_char(int pad_type, char pad_char);
    // True when a file of a known type is named and can be opened.
    bool can_proceed_with_read();
    // Parses the whole file (the word window is not used: pass 0, 0); false
    // when it breaks the format or the limits, with get_error_text telling why.
    bool read_file(int first_word, int word_count);
    int get_memory_radix() const;                        // MIO_RADIX_ENUM
    unsigned int get_number_of_words() const;            // DEPTH
    unsigned int get_word_size() const;                  // WIDTH in bits
    // One digit string per word in address order, "0" for words the file leaves unset.
    void get_data_words(std::vector<std::string>& words) const;
    // What went wrong in the last failed call, with its line ("line 7: ...").
    const std::string& get_error_text() const;
    // The line of the entry that sets the word at address (the last entry
    // that covers it); 0 when no entry does.
    size_t get_word_line(unsigned int address) const;

private:
    friend class MIO_PARSER;

    // One entry of the CONTENT section: addresses first..last take its count
    // words, which start at pool_[word], repeated from the first when the
    // range is longer than the list.
    struct PGM_COMMON_LOCAL ENTRY {
        unsigned int first;
        unsigned int last;
        unsigned int count;
        size_t word;
        size_t line; // where the entry begins
    };

    struct PGM_COMMON_LOCAL NEGATIVE_WORDS; // negative decimal words met by get_data_words

    void clear_content();
    std::string_view word_text(size_t offset) const;
    bool entries_in_order() const;
    void get_words_in_order(std::vector<std::string>& words, NEGATIVE_WORDS& negatives) const;
    void get_words_any_order(std::vector<std::string>& words, NEGATIVE_WORDS& negatives) const;

    [[maybe_unused]] bool read_only_;           // recorded only: files are never written
    int file_type_ = 0;                         // 1 once set_file_type(1) was called
    std::string path_;
    [[maybe_unused]] int pad_type_ = 0;         // recorded only: unset words always read "0"
    [[maybe_unused]] char pad_char_ = '0';
    unsigned int width_ = 0;                    // WIDTH of the last file read, 0 before
    unsigned int depth_ = 0;                    // DEPTH of the last file read, 0 before
    int data_radix_ = MIO_RADIX_HEX;            // DATA_RADIX of the last file read
    std::vector<ENTRY> entries_;                // in file order; later entries win
    std::string pool_;                          // text of every data word, each followed by a ' '
    std::string error_;
};

// Most words (DEPTH) a file may declare: the setting PGM_MIF_MAX_WORDS when
// it is a positive number, else 1 << 22 (about 0.5 GiB of data words at
// most). WIDTH x DEPTH is also held below 2^32 bits and to at most 64 bits
// per word of this count. A file beyond either limit fails read_file, with
// an error text that names the setting. mio_set_max_words overrides the
// limit for the process (e.g. for a fuzz harness); 0 hands it back to the
// setting.
PGM_COMMON_API void mio_set_max_words(unsigned int count);

// Converts word, a digit string of any length in radix from, to the radix to
// (BIG_RADIX_ENUM codes; DEC and UNS are both decimal digits): no sign, no
// leading zeros beyond one "0", upper-case hex digits. 0 on success; 1 with
// output empty when word is empty, holds a character that is not a digit of
// its radix (hex digits in either case), or a code is unknown. flags: pass 0.
// Time: linear in the word's length between BIN, OCT and HEX; about
// n log^2 n from decimal (halves joined by products through a number-
// theoretic transform); quadratic into decimal for long words.
PGM_COMMON_API int big_radix_conversion(const std::string& word, std::string& output, int from, int to, int flags);

// Encoded XML files: AES-256-GCM with a random IV under the SHA-256 of the
// library's file key. Anything that does not authenticate is refused as a
// whole; no byte of unauthenticated text is handed out.
#include "pgm/h/pgm_common_xml_encoding.h"

#include "host/fio.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_file_read.h"
#include "pgm/common/pgm_wipe.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstring>
#include <memory>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

const char FILE_KEY[] = "Pgm#Xml@24"; // the library's ten-character file key
const BYTE MAGIC[4] = {'P', 'G', 'M', 'X'};
const BYTE VERSION = 1;
const size_t HEADER_SIZE = sizeof(MAGIC) + 1; // authenticated with the text
const size_t IV_SIZE = 12;
const size_t TAG_SIZE = 16;
const size_t PIECE = size_t(1) << 20; // the cipher takes int lengths

typedef std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> CIPHER;

CIPHER new_cipher()
{
    CIPHER cipher(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    PGM_CHECK(cipher != nullptr);
    return cipher;
}

std::vector<BYTE> derive_key()
{
    std::vector<BYTE> key(32);
    unsigned int size = 0;
    PGM_CHECK(EVP_Digest(FILE_KEY, sizeof(FILE_KEY) - 1, key.data(), &size, EVP_sha256(), nullptr) == 1);
    return key;
}

// Runs the cipher over the input in pieces into output, which has room for all of it.
bool run_cipher(EVP_CIPHER_CTX* cipher, bool encrypt, const BYTE* input, size_t size, BYTE* output)
{
    for (size_t done = 0; done < size; done += PIECE) {
        int count = int(std::min(PIECE, size - done));
        int written = 0;
        int ok = encrypt ? EVP_EncryptUpdate(cipher, output + done, &written, input + done, count)
                         : EVP_DecryptUpdate(cipher, output + done, &written, input + done, count);
        if (ok != 1 || written != count)
            return false;
    }
    return true;
}

} // namespace

std::vector<BYTE> pgm_xml_encode(const std::string& text)
{
    std::vector<BYTE> key = derive_key();
    PGM_WIPE_ON_EXIT<std::vector<BYTE>> wipe(key);
    std::vector<BYTE> file(MAGIC, MAGIC + sizeof(MAGIC));
    file.push_back(VERSION);
    file.resize(HEADER_SIZE + IV_SIZE + text.size() + TAG_SIZE);
    BYTE* iv = &file[HEADER_SIZE];
    BYTE* sealed = iv + IV_SIZE;
    PGM_CHECK(RAND_bytes(iv, int(IV_SIZE)) == 1);

    CIPHER cipher = new_cipher();
    int written = 0;
    PGM_CHECK(EVP_EncryptInit_ex(cipher.get(), EVP_aes_256_gcm(), nullptr, key.data(), iv) == 1);
    PGM_CHECK(EVP_EncryptUpdate(cipher.get(), nullptr, &written, file.data(), int(HEADER_SIZE)) == 1);
    PGM_CHECK(run_cipher(cipher.get(), true, reinterpret_cast<const BYTE*>(text.data()), text.size(), sealed));
    PGM_CHECK(EVP_EncryptFinal_ex(cipher.get(), sealed + text.size(), &written) == 1 && written == 0);
    PGM_CHECK(EVP_CIPHER_CTX_ctrl(cipher.get(), EVP_CTRL_GCM_GET_TAG, int(TAG_SIZE), sealed + text.size()) == 1);
    return file;
}

std::string pgm_xml_decode(const BYTE* data, size_t size, int& fail_reason)
{
    if (size < sizeof(MAGIC) || std::memcmp(data, MAGIC, sizeof(MAGIC)) != 0) {
        fail_reason = PGM_XML_DECODE_BAD_MAGIC;
        return "";
    }
    if (size < HEADER_SIZE + IV_SIZE + TAG_SIZE) {
        fail_reason = PGM_XML_DECODE_TRUNCATED;
        return "";
    }
    if (data[sizeof(MAGIC)] != VERSION) {
        fail_reason = PGM_XML_DECODE_BAD_VERSION;
        return "";
    }
    std::vector<BYTE> key = derive_key();
    PGM_WIPE_ON_EXIT<std::vector<BYTE>> wipe(key);
    const BYTE* iv = data + HEADER_SIZE;
    const BYTE* sealed = iv + IV_SIZE;
    size_t sealed_size = size - HEADER_SIZE - IV_SIZE - TAG_SIZE;
    std::string text(sealed_size, '\0');
    BYTE* plain = reinterpret_cast<BYTE*>(&text[0]);
    std::vector<BYTE> tag(sealed + sealed_size, sealed + sealed_size + TAG_SIZE);

    CIPHER cipher = new_cipher();
    int written = 0;
    fail_reason = PGM_XML_DECODE_CIPHER;
    if (EVP_DecryptInit_ex(cipher.get(), EVP_aes_256_gcm(), nullptr, key.data(), iv) != 1 ||
        EVP_DecryptUpdate(cipher.get(), nullptr, &written, data, int(HEADER_SIZE)) != 1 ||
        !run_cipher(cipher.get(), false, sealed, sealed_size, plain) ||
        EVP_CIPHER_CTX_ctrl(cipher.get(), EVP_CTRL_GCM_SET_TAG, int(TAG_SIZE), tag.data()) != 1)
        return "";
    if (EVP_DecryptFinal_ex(cipher.get(), plain + sealed_size, &written) != 1) {
        fail_reason = PGM_XML_DECODE_BAD_TAG;
        return "";
    }
    fail_reason = PGM_XML_DECODE_OK;
    return text;
}

std::string pgm_xml_decode_file(const std::string& path, int& fail_reason)
{
    FIO_STAT status;
    DWORD size = 0;
    std::unique_ptr<BYTE[]> data;
    if (FIO_FILE_SYSTEM::status(path, status) && QWORD(status.st_size) < QWORD(DWORD(-1)))
        data.reset(pgm_read_plain_file(path, QWORD(status.st_size), size));
    if (!data) {
        fail_reason = PGM_XML_DECODE_UNREADABLE;
        return "";
    }
    return pgm_xml_decode(data.get(), size, fail_reason);
}

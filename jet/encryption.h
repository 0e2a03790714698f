// The document encryption of password-protected .accdb files. The header page
// (never encrypted) holds at 0x299 a two-byte length and then the encryption
// parameters; every other page is encrypted with a key or IV derived from the
// page number combined with the 4-byte database key of the header. Three
// schemes are read and written:
//   - RC4 CryptoAPI (version 2/3/4.2, RC4 with SHA-1 key derivation),
//   - standard (version 3/4.2 with the AES flag: AES-ECB, SHA-1 key
//     derivation with 50,000 rounds),
//   - agile (version 4.4: AES-CBC, parameters in an XML block, a per-page IV).
// All cryptography is OpenSSL's libcrypto; the XML block is read with expat.
//
// Contract: officeCodec() checks the password against the stored verifier
// before returning, so no page is decoded with a wrong key. A wrong or empty
// password throws 3031; parameters that do not hold together throw 3049; a
// sound scheme this engine does not implement throws 3251.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/codec.h"

namespace jet {

constexpr size_t kCryptInfoOffset = 0x299;

enum class OfficeScheme { Rc4CryptoApi, StandardAes, Agile };

// True when the header page of an .accdb carries an encryption block.
bool hasOfficeEncryption(const std::vector<uint8_t>& page0);

// The page codec of an encrypted .accdb (see the contract above).
std::unique_ptr<PageCodec> officeCodec(const std::vector<uint8_t>& page0, const uint8_t dbKey[4],
                                       const std::string& password);

// Encrypts an unencrypted .accdb file in place with a fresh random salt:
// writes the encryption block and a database key into the header page and
// encrypts every other page. Used to make encrypted copies of our own files.
void encryptAccdbFile(const std::string& path, const std::string& password, OfficeScheme scheme);

}  // namespace jet

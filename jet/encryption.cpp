#define OPENSSL_SUPPRESS_DEPRECATED  // the one-call RC4 of libcrypto
#include "jet/encryption.h"

#include <expat.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rc4.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>

#include "jet/error.h"
#include "jet/text.h"

namespace jet {

namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t kHeaderMask[4] = {0xC7, 0xDA, 0x39, 0x6B};
const uint8_t kVerifierInputBlock[8] = {0xfe, 0xa7, 0xd2, 0x76, 0x3b, 0x4b, 0x9e, 0x79};
const uint8_t kVerifierValueBlock[8] = {0xd7, 0xaa, 0x0f, 0x6d, 0x30, 0x61, 0x34, 0x4e};
const uint8_t kKeyValueBlock[8] = {0x14, 0x6e, 0x0b, 0xe7, 0xab, 0xac, 0xd0, 0xd6};
constexpr uint32_t kAlgRc4 = 0x6801, kAlgAes128 = 0x660E, kAlgAes192 = 0x660F, kAlgAes256 = 0x6610;
constexpr uint32_t kAlgSha1 = 0x8004;
constexpr uint32_t kFlagCryptoApi = 0x04, kFlagAes = 0x20;
constexpr int kStandardRounds = 50000;

[[noreturn]] void damaged(const std::string& what) {
  throw Error(err::kCorrupt, "The database file is damaged: its encryption header " + what + ".");
}
[[noreturn]] void badPassword() { throw Error(err::kBadPassword, "Not a valid password."); }
[[noreturn]] void cryptoFailed() { throw Error(err::kIoError, "The cryptographic library failed."); }

struct MdCtx {
  EVP_MD_CTX* c = EVP_MD_CTX_new();
  ~MdCtx() { EVP_MD_CTX_free(c); }
};
struct CipherCtx {
  EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
  ~CipherCtx() { EVP_CIPHER_CTX_free(c); }
};

// Algorithms fetched once: fetching on every use costs more than hashing a
// few bytes.
const EVP_MD* fetchedMd(const char* name) {
  EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  if (!md) cryptoFailed();
  return md;
}
const EVP_MD* sha1() { static const EVP_MD* m = fetchedMd("SHA1"); return m; }
const EVP_MD* sha256() { static const EVP_MD* m = fetchedMd("SHA256"); return m; }
const EVP_MD* sha384() { static const EVP_MD* m = fetchedMd("SHA384"); return m; }
const EVP_MD* sha512() { static const EVP_MD* m = fetchedMd("SHA512"); return m; }
const EVP_CIPHER* fetchedCipher(const char* name) {
  EVP_CIPHER* c = EVP_CIPHER_fetch(nullptr, name, nullptr);
  if (!c) cryptoFailed();
  return c;
}

Bytes hash2(const EVP_MD* md, const uint8_t* a, size_t na, const uint8_t* b = nullptr, size_t nb = 0) {
  thread_local MdCtx ctx;
  uint8_t out[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  if (!ctx.c || !EVP_DigestInit_ex(ctx.c, md, nullptr) || !EVP_DigestUpdate(ctx.c, a, na) ||
      (nb && !EVP_DigestUpdate(ctx.c, b, nb)) || !EVP_DigestFinal_ex(ctx.c, out, &n))
    cryptoFailed();
  return Bytes(out, out + n);
}
Bytes hash2(const EVP_MD* md, const Bytes& a, const uint8_t* b, size_t nb) {
  return hash2(md, a.data(), a.size(), b, nb);
}

// H(salt + password), then rounds of H(round number + previous).
Bytes iteratedHash(const EVP_MD* md, const Bytes& salt, const Bytes& pwd, int rounds) {
  Bytes h = hash2(md, salt.data(), salt.size(), pwd.data(), pwd.size());
  // The rounds dominate opening a file (100,000 for agile files): the
  // direct SHA calls of libcrypto avoid the per-call overhead of EVP.
  if (md == sha512() || md == sha1()) {
    const bool big = md == sha512();
    uint8_t buf[4 + SHA512_DIGEST_LENGTH];
    const size_t hn = h.size();
    std::memcpy(buf + 4, h.data(), hn);
    for (int i = 0; i < rounds; ++i) {
      buf[0] = uint8_t(i); buf[1] = uint8_t(i >> 8); buf[2] = uint8_t(i >> 16); buf[3] = uint8_t(i >> 24);
      if (big) {
        SHA512_CTX c;
        SHA512_Init(&c);
        SHA512_Update(&c, buf, 4 + hn);
        SHA512_Final(buf + 4, &c);
      } else {
        SHA_CTX c;
        SHA1_Init(&c);
        SHA1_Update(&c, buf, 4 + hn);
        SHA1_Final(buf + 4, &c);
      }
    }
    std::memcpy(h.data(), buf + 4, hn);
    return h;
  }
  MdCtx ctx;
  if (!ctx.c) cryptoFailed();
  unsigned n = 0;
  for (int i = 0; i < rounds; ++i) {
    uint8_t le[4] = {uint8_t(i), uint8_t(i >> 8), uint8_t(i >> 16), uint8_t(i >> 24)};
    if (!EVP_DigestInit_ex(ctx.c, md, nullptr) || !EVP_DigestUpdate(ctx.c, le, 4) ||
        !EVP_DigestUpdate(ctx.c, h.data(), h.size()) || !EVP_DigestFinal_ex(ctx.c, h.data(), &n))
      cryptoFailed();
  }
  return h;
}

Bytes fixLength(Bytes b, size_t n, uint8_t pad) {
  b.resize(n, pad);
  return b;
}

// The 4-byte block number of a page: the database key with the page number
// folded in.
void pageBlock(const uint8_t dbKey[4], uint32_t pgno, uint8_t out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(dbKey[i] ^ (pgno >> (8 * i)));
}

const EVP_CIPHER* aesCipher(size_t keyLen, bool cbc) {
  static const EVP_CIPHER* c128 = fetchedCipher("AES-128-CBC");
  static const EVP_CIPHER* c192 = fetchedCipher("AES-192-CBC");
  static const EVP_CIPHER* c256 = fetchedCipher("AES-256-CBC");
  static const EVP_CIPHER* e128 = fetchedCipher("AES-128-ECB");
  static const EVP_CIPHER* e192 = fetchedCipher("AES-192-ECB");
  static const EVP_CIPHER* e256 = fetchedCipher("AES-256-ECB");
  switch (keyLen) {
    case 16: return cbc ? c128 : e128;
    case 24: return cbc ? c192 : e192;
    case 32: return cbc ? c256 : e256;
    default: damaged("names an AES key of an impossible size");
  }
}

// AES over whole blocks in place (ECB when iv is null, else CBC).
void aes(const Bytes& key, const uint8_t* iv, bool encrypt, uint8_t* buf, size_t n) {
  if (n % 16) damaged("holds a value that is not a whole number of cipher blocks");
  thread_local CipherCtx ctx;
  int out = 0;
  if (!ctx.c || !EVP_CipherInit_ex(ctx.c, aesCipher(key.size(), iv != nullptr), nullptr, key.data(), iv, encrypt) ||
      !EVP_CIPHER_CTX_set_padding(ctx.c, 0) || !EVP_CipherUpdate(ctx.c, buf, &out, buf, int(n)))
    cryptoFailed();
}

Bytes passwordBytes(const std::string& password) {
  std::u16string u = utf8ToUtf16(password);
  if (u.size() > 255) u.resize(255);
  Bytes b;
  for (char16_t c : u) {
    b.push_back(uint8_t(c));
    b.push_back(uint8_t(c >> 8));
  }
  return b;
}

Bytes randomBytes(size_t n) {
  Bytes b(n);
  if (RAND_bytes(b.data(), int(n)) != 1) cryptoFailed();
  return b;
}

// A bounds-checked reader over the encryption block.
struct Reader {
  const uint8_t* p;
  size_t n, at = 0;
  void need(size_t k) const {
    if (k > n - at) damaged("is shorter than its parameters say");
  }
  uint32_t u16() { need(2); uint32_t v = p[at] | (p[at + 1] << 8); at += 2; return v; }
  uint32_t u32() { need(4); uint32_t v = p[at] | (p[at + 1] << 8) | (p[at + 2] << 16) | (uint32_t(p[at + 3]) << 24); at += 4; return v; }
  Bytes take(size_t k) { need(k); Bytes b(p + at, p + at + k); at += k; return b; }
};

// ---- RC4 CryptoAPI ------------------------------------------------------------

class Rc4CryptoApiCodec : public PageCodec {
 public:
  Rc4CryptoApiCodec(Bytes base, size_t keyBytes, const uint8_t dbKey[4]) : base_(std::move(base)), keyBytes_(keyBytes) {
    std::memcpy(dbKey_, dbKey, 4);
  }
  static Bytes key(const Bytes& base, const uint8_t block[4], size_t keyBytes) {
    Bytes k = fixLength(hash2(sha1(), base, block, 4), keyBytes, 0);
    if (keyBytes == 5) k.resize(16, 0);  // 40-bit keys are used as 128 bits with zeros
    return k;
  }
  void decode(uint32_t pgno, uint8_t* page, size_t n) const override { apply(pgno, page, n); }
  void encode(uint32_t pgno, uint8_t* page, size_t n) const override { apply(pgno, page, n); }

 private:
  void apply(uint32_t pgno, uint8_t* page, size_t n) const {
    if (pgno == 0) return;
    uint8_t block[4];
    pageBlock(dbKey_, pgno, block);
    Bytes k = key(base_, block, keyBytes_);
    RC4_KEY rk;
    RC4_set_key(&rk, int(k.size()), k.data());
    RC4(&rk, n, page, page);
  }
  Bytes base_;
  size_t keyBytes_;
  uint8_t dbKey_[4];
};

// ---- Standard (AES-ECB) ---------------------------------------------------------

Bytes standardKey(const Bytes& iter, const uint8_t block[4], size_t keyBytes) {
  Bytes fin = hash2(sha1(), iter, block, 4);
  uint8_t x[64];
  std::memset(x, 0x36, 64);
  for (size_t i = 0; i < fin.size(); ++i) x[i] ^= fin[i];
  Bytes k = hash2(sha1(), x, 64);
  std::memset(x, 0x5C, 64);
  for (size_t i = 0; i < fin.size(); ++i) x[i] ^= fin[i];
  Bytes k2 = hash2(sha1(), x, 64);
  k.insert(k.end(), k2.begin(), k2.end());
  k.resize(keyBytes);
  return k;
}

class StandardAesCodec : public PageCodec {
 public:
  StandardAesCodec(Bytes iter, size_t keyBytes, const uint8_t dbKey[4]) : iter_(std::move(iter)), keyBytes_(keyBytes) {
    std::memcpy(dbKey_, dbKey, 4);
  }
  void decode(uint32_t pgno, uint8_t* page, size_t n) const override { apply(pgno, page, n, false); }
  void encode(uint32_t pgno, uint8_t* page, size_t n) const override { apply(pgno, page, n, true); }

 private:
  void apply(uint32_t pgno, uint8_t* page, size_t n, bool enc) const {
    if (pgno == 0) return;
    uint8_t block[4];
    pageBlock(dbKey_, pgno, block);
    aes(standardKey(iter_, block, keyBytes_), nullptr, enc, page, n);
  }
  Bytes iter_;
  size_t keyBytes_;
  uint8_t dbKey_[4];
};

// ---- Agile (AES-CBC, XML parameters) ------------------------------------------------

struct AgileParams {
  std::map<std::string, std::string> keyData, pwdKey;
  std::string encryptorUri;
  bool inPasswordEncryptor = false;
  int depth = 0;
};

std::string localName(const char* n) {
  const char* c = std::strrchr(n, ':');
  return c ? c + 1 : n;
}

void XMLCALL xmlStart(void* ud, const char* name, const char** attrs) {
  auto* p = static_cast<AgileParams*>(ud);
  std::string ln = localName(name);
  std::map<std::string, std::string> a;
  for (int i = 0; attrs[i]; i += 2) a[attrs[i]] = attrs[i + 1];
  if (ln == "keyData" && p->keyData.empty()) p->keyData = a;
  if (ln == "keyEncryptor") p->inPasswordEncryptor = a["uri"] == "http://schemas.microsoft.com/office/2006/keyEncryptor/password";
  if (ln == "encryptedKey" && p->inPasswordEncryptor && p->pwdKey.empty()) p->pwdKey = a;
}
void XMLCALL xmlEnd(void* ud, const char* name) {
  if (localName(name) == "keyEncryptor") static_cast<AgileParams*>(ud)->inPasswordEncryptor = false;
}

Bytes base64(const std::string& s, const char* what) {
  if (s.empty() || s.size() % 4) damaged(std::string("has no valid ") + what);
  Bytes out(s.size() / 4 * 3);
  int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(s.data()), int(s.size()));
  if (n < 0) damaged(std::string("has no valid ") + what);
  size_t pad = (s.end()[-1] == '=') + (s.end()[-2] == '=');
  out.resize(size_t(n) - pad);
  return out;
}

std::string base64Text(const Bytes& b) {
  std::string s(4 * ((b.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(s.data()), b.data(), int(b.size()));
  s.resize(size_t(n));
  return s;
}

long number(const std::map<std::string, std::string>& a, const char* key, long lo, long hi) {
  auto it = a.find(key);
  if (it == a.end()) damaged(std::string("has no ") + key);
  char* end = nullptr;
  long v = std::strtol(it->second.c_str(), &end, 10);
  if (!end || *end || v < lo || v > hi) damaged(std::string("has an impossible ") + key);
  return v;
}

std::string attr(const std::map<std::string, std::string>& a, const char* key) {
  auto it = a.find(key);
  if (it == a.end()) damaged(std::string("has no ") + key);
  return it->second;
}

const EVP_MD* digestNamed(const std::string& n) {
  if (n == "SHA1") return sha1();
  if (n == "SHA256") return sha256();
  if (n == "SHA384") return sha384();
  if (n == "SHA512") return sha512();
  throw Error(err::kNotSupported, "This .accdb file is encrypted with the hash '" + n + "', which is not supported.");
}

void checkCipher(const std::map<std::string, std::string>& a) {
  if (attr(a, "cipherAlgorithm") != "AES" || attr(a, "cipherChaining") != "ChainingModeCBC")
    throw Error(err::kNotSupported, "This .accdb file is encrypted with a cipher that is not supported.");
  if (number(a, "blockSize", 1, 64) != 16) damaged("names an impossible AES block size");
}

class AgileCodec : public PageCodec {
 public:
  AgileCodec(Bytes key, Bytes salt, const EVP_MD* md, const uint8_t dbKey[4])
      : key_(std::move(key)), salt_(std::move(salt)), md_(md) {
    std::memcpy(dbKey_, dbKey, 4);
    // The key is the same for every page: its schedule is made once for
    // each direction, and each page sets only its IV.
    for (int enc = 0; enc < 2; ++enc)
      if (!ctx_[enc].c || !EVP_CipherInit_ex(ctx_[enc].c, aesCipher(key_.size(), true), nullptr, key_.data(), nullptr, enc) ||
          !EVP_CIPHER_CTX_set_padding(ctx_[enc].c, 0))
        cryptoFailed();
  }
  void decode(uint32_t pgno, uint8_t* page, size_t n) const override { apply(pgno, page, n, false); }
  void encode(uint32_t pgno, uint8_t* page, size_t n) const override { apply(pgno, page, n, true); }

 private:
  void apply(uint32_t pgno, uint8_t* page, size_t n, bool enc) const {
    if (pgno == 0) return;
    uint8_t block[4];
    pageBlock(dbKey_, pgno, block);
    Bytes iv = fixLength(hash2(md_, salt_, block, 4), 16, 0x36);
    if (n % 16) damaged("holds a page that is not a whole number of cipher blocks");
    std::lock_guard<std::mutex> lock(mutex_);
    EVP_CIPHER_CTX* c = ctx_[enc ? 1 : 0].c;
    int out = 0;
    if (!EVP_CipherInit_ex(c, nullptr, nullptr, nullptr, iv.data(), -1) ||
        !EVP_CipherUpdate(c, page, &out, page, int(n)))
      cryptoFailed();
  }
  mutable std::mutex mutex_;
  CipherCtx ctx_[2];
  Bytes key_, salt_;
  const EVP_MD* md_;
  uint8_t dbKey_[4];
};

Bytes agileKey(const EVP_MD* md, const Bytes& iter, const uint8_t block[8], size_t keyBytes) {
  return fixLength(hash2(md, iter, block, 8), keyBytes, 0x36);
}

std::unique_ptr<PageCodec> agileCodec(Reader& r, const uint8_t dbKey[4], const Bytes& pwd) {
  if (r.u32() != 0x40) damaged("has an unexpected reserved value");
  AgileParams p;
  XML_Parser xp = XML_ParserCreate(nullptr);
  if (!xp) cryptoFailed();
  XML_SetUserData(xp, &p);
  XML_SetElementHandler(xp, xmlStart, xmlEnd);
  bool ok = XML_Parse(xp, reinterpret_cast<const char*>(r.p + r.at), int(r.n - r.at), 1) == XML_STATUS_OK;
  XML_ParserFree(xp);
  if (!ok) damaged("holds XML that cannot be read");
  if (p.keyData.empty() || p.pwdKey.empty()) damaged("has no password key");
  checkCipher(p.keyData);
  checkCipher(p.pwdKey);
  const EVP_MD* pmd = digestNamed(attr(p.pwdKey, "hashAlgorithm"));
  const EVP_MD* dmd = digestNamed(attr(p.keyData, "hashAlgorithm"));
  const size_t pkeyBytes = size_t(number(p.pwdKey, "keyBits", 128, 256)) / 8;
  const size_t dkeyBytes = size_t(number(p.keyData, "keyBits", 128, 256)) / 8;
  const int spins = int(number(p.pwdKey, "spinCount", 0, 10000000));
  Bytes psalt = base64(attr(p.pwdKey, "saltValue"), "salt");
  Bytes dsalt = base64(attr(p.keyData, "saltValue"), "salt");
  Bytes vin = base64(attr(p.pwdKey, "encryptedVerifierHashInput"), "verifier");
  Bytes vhash = base64(attr(p.pwdKey, "encryptedVerifierHashValue"), "verifier");
  Bytes kval = base64(attr(p.pwdKey, "encryptedKeyValue"), "key");
  if (psalt.size() < 16 || dsalt.size() < 16 || kval.size() < dkeyBytes) damaged("has values that are too short");
  if (pwd.empty()) badPassword();
  Bytes iv = fixLength(psalt, 16, 0x36);
  Bytes iter = iteratedHash(pmd, psalt, pwd, spins);
  aes(agileKey(pmd, iter, kVerifierInputBlock, pkeyBytes), iv.data(), false, vin.data(), vin.size());
  aes(agileKey(pmd, iter, kVerifierValueBlock, pkeyBytes), iv.data(), false, vhash.data(), vhash.size());
  Bytes want = hash2(pmd, vin.data(), vin.size());
  if (vhash.size() < want.size() || !std::equal(want.begin(), want.end(), vhash.begin())) badPassword();
  aes(agileKey(pmd, iter, kKeyValueBlock, pkeyBytes), iv.data(), false, kval.data(), kval.size());
  kval.resize(dkeyBytes);
  return std::make_unique<AgileCodec>(std::move(kval), std::move(dsalt), dmd, dbKey);
}

// ---- Binary parameters (RC4 CryptoAPI and standard) -------------------------------

std::unique_ptr<PageCodec> binaryCodec(Reader& r, const uint8_t dbKey[4], const Bytes& pwd) {
  const uint32_t flags = r.u32();
  const uint32_t headerSize = r.u32();
  if (headerSize < 32 || headerSize > r.n - r.at) damaged("has an impossible header size");
  Reader h{r.p + r.at, headerSize};
  h.u32();  // the flags again
  h.u32();  // size of extra data
  const uint32_t alg = h.u32(), algHash = h.u32();
  uint32_t keyBits = h.u32();
  r.at += headerSize;
  if (algHash != kAlgSha1 && algHash != 0)
    throw Error(err::kNotSupported, "This .accdb file is encrypted with a hash that is not supported.");
  const bool isAes = flags & kFlagAes;
  if (!(flags & kFlagCryptoApi)) throw Error(err::kNotSupported, "This .accdb file uses an encryption that is not supported.");
  if (isAes) {
    if (alg != kAlgAes128 && alg != kAlgAes192 && alg != kAlgAes256) damaged("names a cipher that does not match its flags");
    if (keyBits != 128 && keyBits != 192 && keyBits != 256) damaged("names an impossible key size");
  } else {
    if (alg != kAlgRc4) damaged("names a cipher that does not match its flags");
    if (keyBits == 0) keyBits = 40;
    if (keyBits < 40 || keyBits > 128 || keyBits % 8) damaged("names an impossible key size");
  }
  if (r.u32() != 16) damaged("has an impossible salt size");
  Bytes salt = r.take(16);
  Bytes verifier = r.take(16);
  const uint32_t vhSize = r.u32();
  if (vhSize != 20) damaged("has an impossible verifier size");
  Bytes vhash = r.take(isAes ? 32 : 20);
  if (pwd.empty()) badPassword();
  const uint8_t zero[4] = {0, 0, 0, 0};
  if (isAes) {
    Bytes iter = iteratedHash(sha1(), salt, pwd, kStandardRounds);
    Bytes k = standardKey(iter, zero, keyBits / 8);
    aes(k, nullptr, false, verifier.data(), verifier.size());
    aes(k, nullptr, false, vhash.data(), vhash.size());
    Bytes want = hash2(sha1(), verifier.data(), verifier.size());
    if (!std::equal(want.begin(), want.end(), vhash.begin())) badPassword();
    return std::make_unique<StandardAesCodec>(std::move(iter), keyBits / 8, dbKey);
  }
  Bytes base = hash2(sha1(), salt.data(), salt.size(), pwd.data(), pwd.size());
  Bytes k = Rc4CryptoApiCodec::key(base, zero, keyBits / 8);
  RC4_KEY rk;
  RC4_set_key(&rk, int(k.size()), k.data());
  RC4(&rk, verifier.size(), verifier.data(), verifier.data());
  RC4(&rk, vhash.size(), vhash.data(), vhash.data());
  Bytes want = hash2(sha1(), verifier.data(), verifier.size());
  if (want != vhash) badPassword();
  return std::make_unique<Rc4CryptoApiCodec>(std::move(base), keyBits / 8, dbKey);
}

void putU16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
void putU32(Bytes& b, uint32_t v) { putU16(b, v & 0xFFFF); putU16(b, v >> 16); }
void put(Bytes& b, const Bytes& v) { b.insert(b.end(), v.begin(), v.end()); }

// The encryption block for a new key; codec receives the matching page codec.
Bytes makeBlock(OfficeScheme scheme, const Bytes& pwd, const uint8_t dbKey[4], std::unique_ptr<PageCodec>& codec) {
  Bytes b;
  const uint8_t zero[4] = {0, 0, 0, 0};
  Bytes salt = randomBytes(16), verifier = randomBytes(16);
  if (scheme == OfficeScheme::Agile) {
    putU16(b, 4); putU16(b, 4); putU32(b, 0x40);
    Bytes dsalt = randomBytes(16), keyValue = randomBytes(32);
    Bytes iter = iteratedHash(sha512(), salt, pwd, 100000);
    Bytes vhash = hash2(sha512(), verifier.data(), verifier.size());
    Bytes kv = keyValue;
    aes(agileKey(sha512(), iter, kVerifierInputBlock, 32), salt.data(), true, verifier.data(), 16);
    aes(agileKey(sha512(), iter, kVerifierValueBlock, 32), salt.data(), true, vhash.data(), vhash.size());
    aes(agileKey(sha512(), iter, kKeyValueBlock, 32), salt.data(), true, kv.data(), kv.size());
    const std::string common = "saltSize=\"16\" blockSize=\"16\" keyBits=\"256\" hashSize=\"64\" cipherAlgorithm=\"AES\" "
                               "cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"SHA512\" ";
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\" "
        "xmlns:p=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
        "<keyData " + common + "saltValue=\"" + base64Text(dsalt) + "\"/><keyEncryptors>"
        "<keyEncryptor uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
        "<p:encryptedKey spinCount=\"100000\" " + common + "saltValue=\"" + base64Text(salt) +
        "\" encryptedVerifierHashInput=\"" + base64Text(verifier) + "\" encryptedVerifierHashValue=\"" +
        base64Text(vhash) + "\" encryptedKeyValue=\"" + base64Text(kv) +
        "\"/></keyEncryptor></keyEncryptors></encryption>";
    b.insert(b.end(), xml.begin(), xml.end());
    codec = std::make_unique<AgileCodec>(keyValue, dsalt, sha512(), dbKey);
    return b;
  }
  const bool isAes = scheme == OfficeScheme::StandardAes;
  const uint32_t flags = kFlagCryptoApi | (isAes ? kFlagAes : 0);
  const std::u16string csp = u"Microsoft Enhanced RSA and AES Cryptographic Provider";
  putU16(b, 4); putU16(b, 2); putU32(b, flags);
  putU32(b, uint32_t(32 + 2 * (csp.size() + 1)));
  putU32(b, flags); putU32(b, 0); putU32(b, isAes ? kAlgAes128 : kAlgRc4); putU32(b, kAlgSha1);
  putU32(b, 128); putU32(b, isAes ? 0x18 : 1); putU32(b, 0); putU32(b, 0);
  for (char16_t c : csp) putU16(b, c);
  putU16(b, 0);
  Bytes vhash = hash2(sha1(), verifier.data(), verifier.size());
  if (isAes) {
    Bytes iter = iteratedHash(sha1(), salt, pwd, kStandardRounds);
    Bytes k = standardKey(iter, zero, 16);
    vhash.resize(32, 0);
    aes(k, nullptr, true, verifier.data(), 16);
    aes(k, nullptr, true, vhash.data(), 32);
    codec = std::make_unique<StandardAesCodec>(iter, 16, dbKey);
  } else {
    Bytes base = hash2(sha1(), salt.data(), salt.size(), pwd.data(), pwd.size());
    Bytes k = Rc4CryptoApiCodec::key(base, zero, 16);
    RC4_KEY rk;
    RC4_set_key(&rk, int(k.size()), k.data());
    RC4(&rk, 16, verifier.data(), verifier.data());
    RC4(&rk, vhash.size(), vhash.data(), vhash.data());
    codec = std::make_unique<Rc4CryptoApiCodec>(base, 16, dbKey);
  }
  putU32(b, 16); put(b, salt); put(b, verifier); putU32(b, 20); put(b, vhash);
  return b;
}

}  // namespace

bool hasOfficeEncryption(const std::vector<uint8_t>& page0) {
  return page0.size() > kCryptInfoOffset + 2 &&
         (page0[kCryptInfoOffset] | (page0[kCryptInfoOffset + 1] << 8)) != 0;
}

std::unique_ptr<PageCodec> officeCodec(const std::vector<uint8_t>& page0, const uint8_t dbKey[4],
                                       const std::string& password) {
  if (page0.size() < kCryptInfoOffset + 2) damaged("is missing");
  const size_t len = page0[kCryptInfoOffset] | (page0[kCryptInfoOffset + 1] << 8);
  if (len < 8 || kCryptInfoOffset + 2 + len > page0.size()) damaged("has an impossible length");
  Reader r{page0.data() + kCryptInfoOffset + 2, len};
  const uint32_t major = r.u16(), minor = r.u16();
  const Bytes pwd = passwordBytes(password);
  if (major == 4 && minor == 4) return agileCodec(r, dbKey, pwd);
  if (major >= 2 && major <= 4 && minor == 2) return binaryCodec(r, dbKey, pwd);
  if (major >= 1 && major <= 4 && minor <= 4)
    throw Error(err::kNotSupported, "This .accdb file is encrypted with a method that is not supported (version " +
                                        std::to_string(major) + "." + std::to_string(minor) + ").");
  damaged("has an unknown version");
}

void encryptAccdbFile(const std::string& path, const std::string& password, OfficeScheme scheme) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  if (!f) throw Error(err::kCannotOpenFile, "Could not open '" + path + "'.");
  const size_t ps = 4096;
  Bytes page(ps);
  f.read(reinterpret_cast<char*>(page.data()), std::streamsize(ps));
  if (!f || std::memcmp(page.data() + 4, "Standard ACE DB", 15) != 0)
    throw Error(err::kUnrecognizedFormat, "Only .accdb files can be encrypted this way.");
  if (hasOfficeEncryption(page)) throw Error(err::kNotSupported, "The file is already encrypted.");
  // The database key lies in the masked part of the header.
  Bytes head(page.begin() + 0x18, page.begin() + 0x18 + 128);
  rc4(kHeaderMask, 4, head.data(), head.size());
  Bytes key;
  do key = randomBytes(4);
  while (key[0] == 0 && key[1] == 0 && key[2] == 0 && key[3] == 0);
  std::memcpy(head.data() + (0x3E - 0x18), key.data(), 4);
  rc4(kHeaderMask, 4, head.data(), head.size());
  std::copy(head.begin(), head.end(), page.begin() + 0x18);
  std::unique_ptr<PageCodec> codec;
  Bytes block = makeBlock(scheme, passwordBytes(password), key.data(), codec);
  if (kCryptInfoOffset + 2 + block.size() > ps) throw Error(err::kNotSupported, "The encryption block does not fit.");
  page[kCryptInfoOffset] = uint8_t(block.size());
  page[kCryptInfoOffset + 1] = uint8_t(block.size() >> 8);
  std::copy(block.begin(), block.end(), page.begin() + kCryptInfoOffset + 2);
  f.seekp(0);
  f.write(reinterpret_cast<const char*>(page.data()), std::streamsize(ps));
  for (uint32_t pg = 1;; ++pg) {
    f.seekg(std::streamoff(pg) * std::streamoff(ps));
    f.read(reinterpret_cast<char*>(page.data()), std::streamsize(ps));
    if (f.gcount() != std::streamsize(ps)) break;
    codec->encode(pg, page.data(), ps);
    f.clear();
    f.seekp(std::streamoff(pg) * std::streamoff(ps));
    f.write(reinterpret_cast<const char*>(page.data()), std::streamsize(ps));
  }
  f.clear();
  f.flush();
  if (!f) throw Error(err::kIoError, "Could not write '" + path + "'.");
}

}  // namespace jet

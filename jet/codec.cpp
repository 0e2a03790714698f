#define OPENSSL_SUPPRESS_DEPRECATED  // the one-call RC4 of libcrypto
#include "jet/codec.h"

#include <openssl/rc4.h>

#include <cstring>

namespace jet {

void rc4(const uint8_t* key, size_t keyLen, uint8_t* buf, size_t n) {
  RC4_KEY k;
  RC4_set_key(&k, static_cast<int>(keyLen), key);
  RC4(&k, n, buf, buf);
}

namespace {

class Plain : public PageCodec {
 public:
  void decode(uint32_t, uint8_t*, size_t) const override {}
  void encode(uint32_t, uint8_t*, size_t) const override {}
  bool identity() const override { return true; }
};

class Rc4Pages : public PageCodec {
 public:
  explicit Rc4Pages(const uint8_t k[4]) { std::memcpy(key_, k, 4); }
  void decode(uint32_t pgno, uint8_t* page, size_t n) const override { apply(pgno, page, n); }
  void encode(uint32_t pgno, uint8_t* page, size_t n) const override { apply(pgno, page, n); }

 private:
  void apply(uint32_t pgno, uint8_t* page, size_t n) const {
    if (pgno == 0) return;  // the header page is never page-encoded
    uint8_t k[4];
    for (int i = 0; i < 4; ++i) k[i] = static_cast<uint8_t>(key_[i] ^ (pgno >> (8 * i)));
    rc4(k, 4, page, n);
  }
  uint8_t key_[4];
};

}  // namespace

std::unique_ptr<PageCodec> plainCodec() { return std::make_unique<Plain>(); }
std::unique_ptr<PageCodec> rc4Codec(const uint8_t dbKey[4]) { return std::make_unique<Rc4Pages>(dbKey); }

}  // namespace jet

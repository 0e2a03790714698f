#include "jet/codec.h"

#include <cstring>

namespace jet {

void rc4(const uint8_t* key, size_t keyLen, uint8_t* buf, size_t n) {
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s[i] + key[i % keyLen]);
    std::swap(s[i], s[j]);
  }
  uint8_t a = 0, b = 0;
  for (size_t k = 0; k < n; ++k) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    buf[k] ^= s[static_cast<uint8_t>(s[a] + s[b])];
  }
}

namespace {

class Plain : public PageCodec {
 public:
  void decode(uint32_t, uint8_t*, size_t) const override {}
  void encode(uint32_t, uint8_t*, size_t) const override {}
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

// Page encoding, applied between the file and the page cache. Plain files
// use the identity codec; files with a database key in the header have every
// page but the header RC4-encoded with a key derived from the page number.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace jet {

class PageCodec {
 public:
  virtual ~PageCodec() = default;
  virtual void decode(uint32_t pgno, uint8_t* page, size_t n) const = 0;
  virtual void encode(uint32_t pgno, uint8_t* page, size_t n) const = 0;
  // True when decode and encode change nothing (pages read ahead are then
  // cached at once instead of being decoded on first use).
  virtual bool identity() const { return false; }
};

std::unique_ptr<PageCodec> plainCodec();
std::unique_ptr<PageCodec> rc4Codec(const uint8_t dbKey[4]);

// RC4 over buf in place with the given key (encryption and decryption agree).
void rc4(const uint8_t* key, size_t keyLen, uint8_t* buf, size_t n);

}  // namespace jet

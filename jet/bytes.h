// Little-endian reads from a byte span with bounds checks. Every offset or
// length that comes from a file goes through these, so a damaged file produces
// jet::Error(3049) instead of a read outside the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "jet/error.h"

namespace jet {

struct ByteView {
  const uint8_t* data = nullptr;
  size_t size = 0;

  ByteView() = default;
  ByteView(const uint8_t* d, size_t n) : data(d), size(n) {}

  void need(size_t off, size_t n) const {
    if (off > size || n > size - off) corrupt("a field lies outside its page");
  }
  uint8_t u8(size_t off) const { need(off, 1); return data[off]; }
  uint16_t u16(size_t off) const {
    need(off, 2);
    return static_cast<uint16_t>(data[off] | (data[off + 1] << 8));
  }
  uint32_t u24(size_t off) const {
    need(off, 3);
    return data[off] | (data[off + 1] << 8) | (uint32_t(data[off + 2]) << 16);
  }
  uint32_t u32(size_t off) const {
    need(off, 4);
    uint32_t v;
    std::memcpy(&v, data + off, 4);
    return v;
  }
  uint64_t u64(size_t off) const {
    need(off, 8);
    uint64_t v;
    std::memcpy(&v, data + off, 8);
    return v;
  }
  int16_t i16(size_t off) const { return static_cast<int16_t>(u16(off)); }
  int32_t i32(size_t off) const { return static_cast<int32_t>(u32(off)); }
  int64_t i64(size_t off) const { return static_cast<int64_t>(u64(off)); }
  double f64(size_t off) const {
    uint64_t b = u64(off);
    double d;
    std::memcpy(&d, &b, 8);
    return d;
  }
  float f32(size_t off) const {
    uint32_t b = u32(off);
    float f;
    std::memcpy(&f, &b, 4);
    return f;
  }
  ByteView sub(size_t off, size_t n) const {
    need(off, n);
    return ByteView(data + off, n);
  }
  std::string str(size_t off, size_t n) const {
    need(off, n);
    return std::string(reinterpret_cast<const char*>(data + off), n);
  }
};

inline void put16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void put24(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); }
inline void put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void put64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }
inline uint32_t get32le(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
// Index keys and index page pointers are big-endian.
inline void putBe24(uint8_t* p, uint32_t v) { p[0] = uint8_t(v >> 16); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v); }
inline void putBe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v);
}

}  // namespace jet

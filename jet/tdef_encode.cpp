#include "jet/tdef_encode.h"

#include <cstring>

#include "jet/bytes.h"
#include "jet/error.h"
#include "jet/page_alloc.h"
#include "jet/text.h"

namespace jet::tdefenc {

bool newerGeneralSort(const Format& fmt) {
  return fmt.ace && fmt.version != Version::Ace12;
}

void layout(BTable& t) {
  uint16_t var = 0, fix = 0;
  for (auto& c : t.cols) {
    if (c.fixed()) {
      c.varIndex = var;  // the product stores the variable count so far here
      c.fixedOffset = c.raw == coltype::kBool ? 0 : fix;
      if (c.raw != coltype::kBool) fix = static_cast<uint16_t>(fix + c.len);
    } else {
      c.varIndex = var++;
      c.fixedOffset = 0;
    }
  }
}

void putName(std::vector<uint8_t>& out, const std::string& name) {
  std::string u = encodeUcs2Text(utf8ToUtf16(name), false);
  uint8_t l[2];
  put16(l, static_cast<uint16_t>(u.size()));
  out.insert(out.end(), l, l + 2);
  out.insert(out.end(), u.begin(), u.end());
}

namespace {

// Constants every Jet 4 table definition carries in its column, index and
// logical-index descriptors.
constexpr uint32_t kDescMagic = 0x0659;
constexpr uint32_t kRealIdxMagic = 0x0783;

// The counts both layouts carry after the table type: columns, variable
// columns, columns again, logical and real indexes, the used and free
// page maps.
void putCounts(std::vector<uint8_t>& b, const BTable& t) {
  uint16_t varCount = 0;
  for (const auto& c : t.cols)
    if (!c.fixed()) ++varCount;
  putLE<uint16_t>(b, static_cast<uint16_t>(t.cols.size()));
  putLE<uint16_t>(b, varCount);
  putLE<uint16_t>(b, static_cast<uint16_t>(t.cols.size()));
  putLE<uint32_t>(b, static_cast<uint32_t>(t.logs.size()));
  putLE<uint32_t>(b, static_cast<uint32_t>(t.reals.size()));
  putLE<uint32_t>(b, t.used);
  putLE<uint32_t>(b, t.free);
}

std::vector<uint8_t> encodeTdef4(const BTable& t) {
  std::vector<uint8_t> b(8, 0);
  b[0] = pagetype_w::kTdef;
  b[1] = 0x01;
  putLE<uint32_t>(b, 0);  // length, filled below
  putLE<uint32_t>(b, kDescMagic);
  putLE<uint32_t>(b, 0);  // rows
  putLE<uint32_t>(b, 0);  // last auto-number
  b.push_back(0x01);      // auto-number in use
  b.insert(b.end(), 15, 0);
  b.push_back(t.tableType);
  putCounts(b, t);
  for (size_t i = 0; i < t.reals.size(); ++i) {
    putLE<uint32_t>(b, 0);
    putLE<uint32_t>(b, 0);
    putLE<uint32_t>(b, 0);
  }
  for (size_t i = 0; i < t.cols.size(); ++i) {
    const BCol& c = t.cols[i];
    b.push_back(c.raw);
    putLE<uint32_t>(b, kDescMagic);
    putLE<uint16_t>(b, static_cast<uint16_t>(i));
    putLE<uint16_t>(b, c.varIndex);
    putLE<uint16_t>(b, static_cast<uint16_t>(i));
    if (c.raw == coltype::kNumeric) {
      b.push_back(c.prec);
      b.push_back(c.scale);
      b.push_back(0);
      b.push_back(c.sortVersion);
    } else if (c.raw == coltype::kComplex) {
      putLE<int32_t>(b, c.complexId);  // MSysComplexColumns.ComplexID
    } else {
      putLE<uint16_t>(b, kGeneralSort);
      b.push_back(0);
      b.push_back(c.sortVersion);
    }
    b.push_back(c.flags);
    b.push_back(c.ext);
    putLE<uint32_t>(b, 0);
    putLE<uint16_t>(b, c.fixedOffset);
    putLE<uint16_t>(b, c.len);
  }
  for (const auto& c : t.cols) putName(b, c.name);
  for (const auto& r : t.reals) {
    putLE<uint32_t>(b, kRealIdxMagic);
    for (size_t k = 0; k < 10; ++k) {
      if (k < r.cols.size()) {
        putLE<uint16_t>(b, static_cast<uint16_t>(r.cols[k].first));
        b.push_back(r.cols[k].second ? 0x01 : 0x00);  // 00: descending
      } else {
        putLE<uint16_t>(b, 0xFFFF);
        b.push_back(0);
      }
    }
    putLE<uint32_t>(b, r.map);
    putLE<uint32_t>(b, r.root);
    putLE<uint32_t>(b, 0);
    b.push_back(r.flags);
    b.insert(b.end(), 5, 0);
  }
  for (size_t i = 0; i < t.logs.size(); ++i) {
    putLE<uint32_t>(b, kDescMagic);
    putLE<uint32_t>(b, static_cast<uint32_t>(i));
    putLE<uint32_t>(b, static_cast<uint32_t>(t.logs[i].real));
    b.push_back(0);
    putLE<uint32_t>(b, 0xFFFFFFFFu);
    putLE<uint32_t>(b, 0);
    b.push_back(0x04);
    b.push_back(0x04);
    b.push_back(t.logs[i].type);
    putLE<uint32_t>(b, 0);
  }
  for (const auto& l : t.logs) putName(b, l.name);
  for (const auto& [col, maps] : t.lvMaps) {
    putLE<uint16_t>(b, col);
    putLE<uint32_t>(b, maps.first);
    putLE<uint32_t>(b, maps.second);
  }
  putLE<uint16_t>(b, 0xFFFF);
  put32(b.data() + 8, static_cast<uint32_t>(b.size()));
  return b;
}

// A Jet 3 name: 1-byte length, text in the file's code page.
void putName3(std::vector<uint8_t>& out, const std::string& name, uint16_t codePage) {
  std::string s = encodeCodePageText(utf8ToUtf16(name), codePage);
  out.push_back(static_cast<uint8_t>(s.size()));
  out.insert(out.end(), s.begin(), s.end());
}

// The Jet 3 layout: shorter descriptors, no magic numbers, no long-value
// usage maps.
std::vector<uint8_t> encodeTdef3(const BTable& t, uint16_t codePage) {
  std::vector<uint8_t> b(8, 0);
  b[0] = pagetype_w::kTdef;
  b[1] = 0x01;
  putLE<uint32_t>(b, 0);  // length, filled below
  putLE<uint32_t>(b, 0);  // rows
  putLE<uint32_t>(b, 0);  // last auto-number
  b.push_back(t.tableType);
  putCounts(b, t);
  for (size_t i = 0; i < t.reals.size(); ++i) {
    putLE<uint32_t>(b, 0);
    putLE<uint32_t>(b, 0);
  }
  for (size_t i = 0; i < t.cols.size(); ++i) {
    const BCol& c = t.cols[i];
    b.push_back(c.raw);
    putLE<uint16_t>(b, static_cast<uint16_t>(i));
    putLE<uint16_t>(b, c.varIndex);
    putLE<uint16_t>(b, static_cast<uint16_t>(i));
    putLE<uint16_t>(b, 1);
    putLE<uint16_t>(b, kGeneralSort);
    if (c.raw == coltype::kNumeric) {
      b.push_back(c.prec);
      b.push_back(c.scale);
    } else {
      putLE<uint16_t>(b, codePage);
    }
    b.push_back(c.flags);
    putLE<uint16_t>(b, c.fixedOffset);
    putLE<uint16_t>(b, c.len);
  }
  for (const auto& c : t.cols) putName3(b, c.name, codePage);
  for (const auto& r : t.reals) {
    for (size_t k = 0; k < 10; ++k) {
      if (k < r.cols.size()) {
        putLE<uint16_t>(b, static_cast<uint16_t>(r.cols[k].first));
        b.push_back(r.cols[k].second ? 0x01 : 0x00);
      } else {
        putLE<uint16_t>(b, 0xFFFF);
        b.push_back(0);
      }
    }
    putLE<uint32_t>(b, r.map);
    putLE<uint32_t>(b, r.root);
    b.push_back(r.flags);
  }
  for (size_t i = 0; i < t.logs.size(); ++i) {
    putLE<uint32_t>(b, static_cast<uint32_t>(i));
    putLE<uint32_t>(b, static_cast<uint32_t>(t.logs[i].real));
    b.push_back(0);
    putLE<uint32_t>(b, 0xFFFFFFFFu);
    putLE<uint32_t>(b, 0);
    b.push_back(0x04);
    b.push_back(0x04);
    b.push_back(t.logs[i].type);
  }
  for (const auto& l : t.logs) putName3(b, l.name, codePage);
  putLE<uint16_t>(b, 0xFFFF);
  put32(b.data() + 8, static_cast<uint32_t>(b.size()));
  return b;
}

}  // namespace

std::vector<uint8_t> encodeTdef(const Format& fmt, const BTable& t, uint16_t codePage) {
  return fmt.jet3 ? encodeTdef3(t, codePage) : encodeTdef4(t);
}

std::vector<PageBuf> tdefPages(const Format& fmt, const std::vector<uint8_t>& bytes) {
  std::vector<PageBuf> out;
  size_t pos = 0;
  while (pos < bytes.size()) {
    PageBuf p(fmt.pageSize, 0);
    size_t room = out.empty() ? fmt.pageSize : fmt.pageSize - 8;
    size_t n = std::min(room, bytes.size() - pos);
    if (out.empty()) {
      std::memcpy(p.data(), bytes.data(), n);
    } else {
      p[0] = pagetype_w::kTdef;
      p[1] = 0x01;
      std::memcpy(p.data() + 8, bytes.data() + pos, n);
    }
    size_t used = (out.empty() ? 0 : 8) + n;
    put16(p.data() + 2, static_cast<uint16_t>(fmt.pageSize - used - (out.empty() ? 8 : 0)));
    pos += n;
    out.push_back(std::move(p));
  }
  return out;
}

}  // namespace jet::tdefenc

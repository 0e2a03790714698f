// Writing long values (Memo, OLE). A row stores a 12-byte field:
//   length (30 bits) | kind (2 bits), row pointer, zero
// and the data either inline after the field (kind 0x80, small values),
// in one row of a long-value page (kind 0x40), or in a chain of rows, each
// starting with the pointer to the next (kind 0x00). Long-value pages are
// data pages tagged "LVAL" instead of a table page. Each long-value column
// has a pair of usage maps of its own (pages used, pages with room), listed
// in the table definition after the index names; a column without maps puts
// its pages in the table's owned-pages map.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "jet/pager.h"
#include "jet/table.h"

namespace jet {

struct LongValueMaps {
  uint32_t used = 0, free = 0;
};
// The per-column long-value maps of a table definition (tdef: the whole
// definition, continuation pages appended without their headers), by
// column number.
std::map<uint16_t, LongValueMaps> parseLongValueMaps(const std::vector<uint8_t>& tdef, const Format& fmt);

class LongValueWriter {
 public:
  // ownedMapPtr: the table's owned-pages map, for columns without maps.
  LongValueWriter(Pager& pager, uint32_t ownedMapPtr, std::map<uint16_t, LongValueMaps> columnMaps = {});
  // The field bytes for data of column colNumber. inlineRoom: how many
  // bytes of data the row can still take inline (values above the inline
  // limit never go inline).
  std::string write(uint16_t colNumber, const std::string& data, size_t inlineRoom);
  // Frees the pages rows of a stored field (inline values own nothing).
  void release(ByteView field);

  static constexpr size_t kMaxInline = 64;

 private:
  struct Target {
    LongValueMaps maps;
    uint32_t current = 0;  // long-value page with room, 0 = none yet
    bool searched = false;
  };
  RowId putRow(Target& t, const std::vector<uint8_t>& bytes);
  void forgetPage(uint32_t pg);
  Target& targetFor(uint16_t col);
  Pager& pager_;
  uint32_t owned_;
  std::map<uint16_t, LongValueMaps> columnMaps_;
  std::map<uint32_t, Target> targets_;  // by used-map pointer
};

}  // namespace jet

// Writing long values (Memo, OLE). A row stores a 12-byte field:
//   length (30 bits) | kind (2 bits), row pointer, zero
// and the data either inline after the field (kind 0x80, small values),
// in one row of a long-value page (kind 0x40), or in a chain of rows, each
// starting with the pointer to the next (kind 0x00). Long-value pages are
// data pages tagged "LVAL" instead of a table page, owned by the table.
#pragma once

#include <cstdint>
#include <string>

#include "jet/pager.h"
#include "jet/table.h"

namespace jet {

class LongValueWriter {
 public:
  // ownedMapPtr: the table's owned-pages map (long-value pages join it).
  LongValueWriter(Pager& pager, uint32_t ownedMapPtr);
  // The field bytes for data. inlineRoom: how many bytes of data the row
  // can still take inline (values above the inline limit never go inline).
  std::string write(const std::string& data, size_t inlineRoom);
  // Frees the pages rows of a stored field (inline values own nothing).
  void release(ByteView field);

  static constexpr size_t kMaxInline = 64;

 private:
  RowId putRow(const std::vector<uint8_t>& bytes);
  Pager& pager_;
  uint32_t map_;
  uint32_t current_ = 0;  // long-value page with room, 0 = none yet
  bool searched_ = false;
};

}  // namespace jet

#include "jet/row_walk.h"

#include "jet/database.h"
#include "jet/error.h"

namespace jet {

namespace {
// Row offset table entries on a data page.
constexpr uint16_t kSlotDeleted = 0x8000;
constexpr uint16_t kSlotOverflow = 0x4000;
constexpr uint16_t kSlotOffset = 0x1FFF;
constexpr uint32_t kRun = 64;
}  // namespace

RowAddressScan::RowAddressScan(Database& db, std::shared_ptr<const TableDef> def)
    : db_(db), def_(std::move(def)) {
  pages_ = TableScan(db_, def_).pages();
}

void RowAddressScan::release() {
  held_.reset();
  std::vector<uint8_t>().swap(block_);
  blockPages_ = 0;
}

bool RowAddressScan::nextPage(std::vector<RowId>& out) {
  Pager& pager = db_.pager();
  const Format& fmt = pager.format();
  const uint32_t tdef = def_->page;
  while (idx_ < pages_.size()) {
    const uint32_t pg = pages_[idx_];
    const ByteView b = pageBytes(pg);
    ++idx_;
    if (b.u8(0) != 0x01 || b.u32(fmt.offDataTdef) != tdef) continue;
    const unsigned count = b.u16(fmt.offDataRowCount);
    const size_t tableEnd = fmt.offDataRows + 2 * size_t(count);
    b.need(fmt.offDataRows, 2 * size_t(count));
    const uint8_t* offsets = b.data + fmt.offDataRows;
    const size_t before = out.size();
    unsigned end = fmt.pageSize;  // a row ends where the one before it starts
    for (unsigned slot = 0; slot < count; ++slot) {
      const uint16_t raw = static_cast<uint16_t>(offsets[2 * slot] | (offsets[2 * slot + 1] << 8));
      const unsigned start = raw & kSlotOffset;
      const unsigned rowEnd = end;
      end = start;
      if (raw & kSlotDeleted) continue;
      const RowId id{pg, static_cast<uint16_t>(slot)};
      if (raw & kSlotOverflow) {
        PageRef holder;
        ByteView bytes;
        if (!readRow(pager, *def_, id, holder, bytes)) continue;
      } else if (start >= rowEnd || rowEnd > fmt.pageSize || start < tableEnd) {
        corrupt("a row has a bad extent");
      }
      out.push_back(id);
    }
    held_.reset();
    if (out.size() > before) return true;
  }
  return false;
}

// The decoded bytes of page pg. Runs of consecutive committed pages come
// from the pager in one read that bypasses its cache; pages of a change
// under way (or outside the file, which the pager reports) come through the
// cache as usual.
ByteView RowAddressScan::pageBytes(uint32_t pg) {
  Pager& pager = db_.pager();
  const uint32_t ps = pager.pageSize();
  if (blockPages_ && pg >= blockFirst_ && pg - blockFirst_ < blockPages_)
    return ByteView(block_.data() + size_t(pg - blockFirst_) * ps, ps);
  blockPages_ = 0;
  uint32_t run = 1;
  while (run < kRun && idx_ + run < pages_.size() && pages_[idx_ + run] == pg + run) ++run;
  if (pg == 0 || !pager.readCommittedRun(pg, run, block_)) {
    held_ = pager.page(pg);
    return view(held_);
  }
  held_.reset();
  blockFirst_ = pg;
  blockPages_ = static_cast<uint32_t>(block_.size() / ps);
  return ByteView(block_.data(), ps);
}

}  // namespace jet

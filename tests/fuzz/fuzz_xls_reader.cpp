// Any bytes as a workbook: loading must end in success or a clean error, and
// a workbook that loads must read, take a cell and save without fault. What
// it held must survive an appended record: every cell read before the save
// reads the same after it (a workbook we cannot keep that way is refused).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "xls/Workbook.h"

namespace {

constexpr int kSheets = 4, kRows = 50, kCols = 20;

// The cells of the first sheets, rows and columns, as text.
std::vector<std::string> Cells(const pelkor::xls::Workbook& book) {
    std::vector<std::string> cells;
    for (int s = 0; s < book.SheetCount() && s < kSheets; ++s) {
        cells.push_back(book.SheetName(s));
        for (int r = 1; r <= kRows; ++r)
            for (int c = 1; c <= kCols; ++c)
                cells.push_back(book.CellText(s, r, c));
    }
    return cells;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pelkor::xls::Workbook book;
    if (!book.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size))) return 0;
    const std::vector<std::string> before = Cells(book);
    // An append, as the logger makes it: a row after the last one used.
    const int row = book.SheetCount() > 0 ? book.LastRow(0) + 1 : 0;
    if (row > kRows) return 0; // the comparison covers the rows up to kRows only
    if (row > 0 && !book.SetCellText(0, row, 1, "fuzz")) return 0;
    std::string out;
    if (!book.SaveToBytes(out)) return 0;
    pelkor::xls::Workbook again;
    if (!again.LoadFromBytes(out)) __builtin_trap(); // what we write we must read back
    std::vector<std::string> after = Cells(again);
    if (row > 0 && after.size() > 1 + static_cast<size_t>((row - 1) * kCols)) {
        if (after[1 + static_cast<size_t>((row - 1) * kCols)] != "fuzz") __builtin_trap();
        after[1 + static_cast<size_t>((row - 1) * kCols)].clear();
    }
    if (after != before) __builtin_trap(); // an original cell changed under the append
    return 0;
}

// Any bytes as a workbook: loading must end in success or a clean error, and
// a workbook that loads must read, take a cell and save without fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "output/xls/Workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pelkor::xls::Workbook book;
    if (!book.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size))) return 0;
    for (int s = 0; s < book.SheetCount() && s < 4; ++s) {
        const int rows = book.LastRow(s) < 50 ? book.LastRow(s) : 50;
        const int cols = book.LastColumn(s) < 20 ? book.LastColumn(s) : 20;
        for (int r = 1; r <= rows; ++r)
            for (int c = 1; c <= cols; ++c) (void)book.CellText(s, r, c);
        (void)book.SheetName(s);
    }
    if (book.SheetCount() > 0) book.SetCellText(0, 2, 2, "fuzz");
    book.AddSheet("Fuzz");
    std::string out;
    if (book.SaveToBytes(out)) {
        pelkor::xls::Workbook again;
        if (!again.LoadFromBytes(out)) __builtin_trap();  // what we write we must read back
    }
    return 0;
}

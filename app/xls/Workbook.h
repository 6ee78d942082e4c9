#pragma once
// Excel 97-2003 workbooks (".xls": BIFF8 records in the "Workbook" stream of
// an OLE2 compound file), read and written without a spreadsheet program.
//
// A loaded workbook keeps every stream and record it does not change, byte
// for byte; saving rewrites only the cells that were set and patches the
// offsets that move with them. Text is UTF-8; rows and columns are 1-based
// as in the spreadsheet (rows 1..65536, columns 1..256).

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace pelkor::xls {

inline constexpr int MaxRows = 65536;
inline constexpr int MaxColumns = 256;
inline constexpr int MaxSheetNameLength = 31;
inline constexpr int MaxCellChars = 32767; // UTF-16 units a text cell holds

class Workbook {
public:
    Workbook(); // holds no sheet until CreateNew() or Load()
    ~Workbook();
    Workbook(Workbook&&) noexcept;
    Workbook& operator=(Workbook&&) noexcept;
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    // One empty sheet, named "Sheet1".
    static Workbook CreateNew();

    // False with Error() on any fault (missing, damaged, encrypted or older
    // than Excel 97); the workbook is then empty. Never throws.
    bool Load(const std::string& path);
    bool LoadFromBytes(const std::string& bytes);

    // Replaces the file atomically (util/AtomicFile.h: links followed, a
    // read-only file refused, mode kept), so a failure or a crash leaves the
    // old file as it was. Refuses (false) when an edit since loading was
    // refused, so a lost cell is never reported as saved.
    bool Save(const std::string& path);
    bool SaveToBytes(std::string& out);

    const std::string& Error() const;

    // Worksheets only (chart and macro sheets are kept but not counted).
    int SheetCount() const;
    std::string SheetName(int index) const; // index 0-based; "" when out of range
    // Names: 1..31 characters, none of []:*?/\, not starting or ending with
    // an apostrophe, unique regardless of case. False/-1 with Error() otherwise.
    bool SetSheetName(int index, const std::string& name);
    int AddSheet(const std::string& name); // appended after the last; returns its index

    // "" for an empty cell; numbers as text ("42", "0.5", "1E+20"), booleans
    // "TRUE"/"FALSE", errors "#DIV/0!" etc.; formulas give their last result.
    std::string CellText(int sheet, int row, int col) const;
    // Written as a text cell, keeping the cell's format when it had one.
    // False with Error() for a position outside the sheet or a text longer
    // than a cell holds (32,767 characters).
    bool SetCellText(int sheet, int row, int col, const std::string& text);

    // Last used row / column (1-based) of a sheet; 0 when it holds no cell.
    int LastRow(int sheet) const;
    int LastColumn(int sheet) const;

private:
    bool LoadBytes(std::string&& bytes);
    bool SaveTo(const std::function<bool(std::string_view)>& sink);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace pelkor::xls

// The workbook engine on its own: new workbooks, workbooks a spreadsheet
// program saved, hand-made records, rewrites that must keep what they do
// not change, and damaged files.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

#include "support/TempDir.h"
#include "xls/Text.h"
#include "xls/Workbook.h"
#include "xls/XlsTestSupport.h"

using namespace pelkor;
using namespace pelkor::xls;
using namespace xlstest;

namespace {

const std::string Fixtures = std::string(PELKOR_SOURCE_DIR) + "/tests/xls/fixtures/";

Workbook Reloaded(Workbook& b) {
    std::string bytes;
    EXPECT_TRUE(b.SaveToBytes(bytes)) << b.Error();
    EXPECT_EQ(CheckOffsets(bytes), "");
    Workbook r;
    EXPECT_TRUE(r.LoadFromBytes(bytes)) << r.Error();
    return r;
}

Workbook FromStream(const std::string& stream) {
    Workbook b;
    EXPECT_TRUE(b.LoadFromBytes(File(stream))) << b.Error();
    return b;
}

uint32_t MiniFatSectors(const std::string& file) {
    return bytes::U32(file.data() + 64);
}

} // namespace

TEST(XlsNew, TextsOfEveryKindSurviveARoundTrip) {
    Workbook b = Workbook::CreateNew();
    ASSERT_EQ(b.SheetCount(), 1);
    EXPECT_EQ(b.SheetName(0), "Sheet1");
    EXPECT_EQ(b.LastRow(0), 0);
    const std::vector<std::string> texts = {
        "plain",   "Grüße", "Ωμέγα", "数据",
        "emoji 😀", "12.5",  " lead", std::string(MaxCellChars, 'x'),
        "a\tb\nc"};
    for (size_t i = 0; i < texts.size(); ++i)
        ASSERT_TRUE(b.SetCellText(0, static_cast<int>(i) + 1, 2, texts[i]));
    ASSERT_TRUE(b.SetCellText(0, MaxRows, MaxColumns, "corner"));
    ASSERT_TRUE(b.SetCellText(0, 1, 3, "dup"));
    ASSERT_TRUE(b.SetCellText(0, 2, 3, "dup"));
    Workbook r = Reloaded(b);
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(r.CellText(0, static_cast<int>(i) + 1, 2), texts[i]) << i;
    EXPECT_EQ(r.CellText(0, MaxRows, MaxColumns), "corner");
    EXPECT_EQ(r.CellText(0, 2, 3), "dup");
    EXPECT_EQ(r.CellText(0, 1, 1), "");
    EXPECT_EQ(r.LastRow(0), MaxRows);
    EXPECT_EQ(r.LastColumn(0), MaxColumns);
    // Invalid UTF-8 is replaced, not passed on to break the string table.
    ASSERT_TRUE(r.SetCellText(0, 3, 3, std::string("a\xff") + "b"));
    EXPECT_EQ(Reloaded(r).CellText(0, 3, 3), "a\xEF\xBF\xBD"
                                             "b");
}

TEST(XlsNew, RefusedEditMeansNothingIsSaved) {
    TempDir dir;
    for (auto edit : std::vector<std::function<bool(Workbook&)>>{
             [](Workbook& w) { return w.SetCellText(0, 0, 1, "x"); },
             [](Workbook& w) { return w.SetCellText(0, MaxRows + 1, 1, "x"); },
             [](Workbook& w) { return w.SetCellText(0, 1, MaxColumns + 1, "x"); },
             [](Workbook& w) { return w.SetCellText(1, 1, 1, "x"); },
             [](Workbook& w) {
                 return w.SetCellText(0, 1, 1, std::string(MaxCellChars + 1, 'x'));
             }}) {
        Workbook b = Workbook::CreateNew();
        EXPECT_FALSE(edit(b));
        EXPECT_FALSE(b.Error().empty());
        EXPECT_FALSE(b.Save(dir.file("out.xls")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.xls")));
    }
    Workbook none;
    EXPECT_EQ(none.SheetCount(), 0);
    EXPECT_FALSE(none.Save(dir.file("none.xls")));
}

TEST(XlsNew, EmptyingACellRemovesItsText) {
    Workbook b = Workbook::CreateNew();
    b.SetCellText(0, 1, 1, "x");
    b.SetCellText(0, 1, 1, "");
    b.SetCellText(0, 5, 5, ""); // nothing there: nothing made
    Workbook r = Reloaded(b);
    EXPECT_EQ(r.CellText(0, 1, 1), "");
    EXPECT_EQ(r.LastRow(0), 1); // kept as a blank cell with its format
}

TEST(XlsSheets, AddedAfterTheLastWithNamesChecked) {
    Workbook b = Workbook::CreateNew();
    EXPECT_EQ(b.AddSheet("Log"), 1);
    EXPECT_EQ(b.AddSheet("Messwerte Ω"), 2);
    for (const std::string& bad :
         std::vector<std::string>{"", "a[b", "a:b", "a/b", "q?", "star*", "back\\", "'quoted'",
                                  std::string(32, 'n'), "LOG", "sheet1"}) {
        EXPECT_EQ(b.AddSheet(bad), -1) << bad;
        EXPECT_FALSE(b.Error().empty());
    }
    EXPECT_TRUE(b.AddSheet(std::string(31, 'n')) > 0);
    EXPECT_FALSE(b.SetSheetName(1, "Sheet1"));
    EXPECT_TRUE(b.SetSheetName(1, "log")); // its own name in another case
    EXPECT_TRUE(b.SetSheetName(0, "First"));
    b.SetCellText(2, 1, 1, "on the third");
    Workbook r = Reloaded(b);
    ASSERT_EQ(r.SheetCount(), 4);
    EXPECT_EQ(r.SheetName(0), "First");
    EXPECT_EQ(r.SheetName(1), "log");
    EXPECT_EQ(r.SheetName(2), "Messwerte Ω");
    EXPECT_EQ(r.CellText(2, 1, 1), "on the third");
    EXPECT_EQ(r.SheetName(9), "");
}

TEST(XlsSheets, ManySheetsEachWithTheirCells) {
    Workbook b = Workbook::CreateNew();
    for (int i = 1; i < 150; ++i)
        ASSERT_EQ(b.AddSheet("S" + std::to_string(i)), i);
    for (int i = 0; i < 150; ++i)
        b.SetCellText(i, i + 1, 1, "sheet " + std::to_string(i));
    Workbook r = Reloaded(b);
    ASSERT_EQ(r.SheetCount(), 150);
    for (int i = 0; i < 150; ++i)
        EXPECT_EQ(r.CellText(i, i + 1, 1), "sheet " + std::to_string(i));
    r.SetCellText(75, 1, 1, "later");
    Workbook again = Reloaded(r);
    EXPECT_EQ(again.CellText(75, 1, 1), "later");
    EXPECT_EQ(again.CellText(149, 150, 1), "sheet 149");
}

TEST(XlsContainer, StreamPlacementFollowsTheCutOffAsItGrows) {
    Workbook b = Workbook::CreateNew();
    b.SetCellText(0, 1, 1, "small");
    std::string small;
    ASSERT_TRUE(b.SaveToBytes(small));
    EXPECT_LT(WorkbookStream(small).size(), 4096u);
    EXPECT_GT(MiniFatSectors(small), 0u); // in the mini stream

    Workbook grown;
    ASSERT_TRUE(grown.LoadFromBytes(small));
    for (int r = 2; r < 400; ++r)
        grown.SetCellText(0, r, 1, "row " + std::to_string(r));
    std::string big;
    ASSERT_TRUE(grown.SaveToBytes(big));
    EXPECT_GE(WorkbookStream(big).size(), 4096u);
    EXPECT_EQ(MiniFatSectors(big), 0u); // moved to the regular sectors
    Workbook r;
    ASSERT_TRUE(r.LoadFromBytes(big)) << r.Error();
    EXPECT_EQ(r.CellText(0, 1, 1), "small");
    EXPECT_EQ(r.CellText(0, 399, 1), "row 399");
}

TEST(XlsContainer, OtherStreamsAndStoragesAreKept) {
    // Root -> Workbook, summary stream, a storage holding a stream of 5000 bytes.
    cfb::File f = cfb::MakeSingleStream("Workbook", Stream({{"Data", ""}}));
    auto entry = [](const std::u16string& name, uint8_t type, std::string data) {
        cfb::Entry e;
        e.raw.assign(128, '\0');
        for (size_t i = 0; i < name.size(); ++i)
            bytes::Put16(e.raw.data() + 2 * i, name[i]);
        bytes::Put16(e.raw.data() + 64, static_cast<uint16_t>(2 * name.size() + 2));
        e.raw[66] = static_cast<char>(type);
        for (int off : {68, 72, 76})
            bytes::Put32(e.raw.data() + off, cfb::NoStream);
        e.raw[80] = 0x42; // a class id to keep
        e.type = type;
        e.name = name;
        e.data = std::move(data);
        e.reachable = true;
        return e;
    };
    f.entries.push_back(entry(u"\x05SummaryInformation", 2, std::string(300, 's')));
    f.entries.push_back(entry(u"_VBA_PROJECT_CUR", 1, ""));
    f.entries.push_back(entry(u"VBA", 2, std::string(5000, 'v')));
    f.entries[1].right = 2;
    bytes::Put32(f.entries[1].raw.data() + 72, 2);
    f.entries[2].right = 3;
    bytes::Put32(f.entries[2].raw.data() + 72, 3);
    f.entries[3].child = 4;
    bytes::Put32(f.entries[3].raw.data() + 76, 4);
    std::string file, err;
    ASSERT_TRUE(cfb::Write(f, file, err));

    Workbook b;
    ASSERT_TRUE(b.LoadFromBytes(file)) << b.Error();
    b.SetCellText(0, 1, 1, "x");
    std::string saved;
    ASSERT_TRUE(b.SaveToBytes(saved));
    cfb::File back;
    ASSERT_TRUE(cfb::Read(saved, back, err)) << err;
    ASSERT_GE(back.entries.size(), 5u);
    EXPECT_EQ(back.entries[2].data, std::string(300, 's'));
    EXPECT_EQ(back.entries[4].data, std::string(5000, 'v'));
    EXPECT_EQ(back.entries[3].raw[80], 0x42);
    EXPECT_EQ(back.entries[3].child, 4u);
}

TEST(XlsFixtures, ValuesOfASavedWorkbook) {
    Workbook b;
    ASSERT_TRUE(b.Load(Fixtures + "formatted.xls")) << b.Error();
    ASSERT_EQ(b.SheetCount(), 2);
    EXPECT_EQ(b.SheetName(0), "Data");
    EXPECT_EQ(b.SheetName(1), "Notes");
    const std::map<std::pair<int, int>, std::string> want = {
        {{1, 1}, "Head"},      {{2, 2}, "42"},    {{2, 3}, "Grüße"}, {{3, 2}, "0.5"},
        {{3, 3}, "Ωμέγα"},     {{4, 2}, "1E+20"}, {{4, 3}, "数据"},  {{5, 2}, "-3.25"},
        {{5, 3}, ""},          {{6, 2}, "84"},    {{7, 2}, "TRUE"},  {{8, 2}, "#DIV/0!"},
        {{8, 3}, "123456.789"}};
    for (const auto& [pos, text] : want)
        EXPECT_EQ(b.CellText(0, pos.first, pos.second), text) << pos.first << "," << pos.second;
    EXPECT_EQ(b.CellText(1, 2, 2), "kept");
    EXPECT_EQ(b.LastRow(0), 8);
}

TEST(XlsFixtures, StringTableOverManyRecordsAndOneLongString) {
    Workbook b;
    ASSERT_TRUE(b.Load(Fixtures + "bigsst.xls")) << b.Error();
    for (int i = 0; i < 1500; ++i) {
        std::string t =
            "entry " + std::string(4 - std::to_string(i).size(), '0') + std::to_string(i) + " ";
        for (int k = 0; k < i % 5; ++k)
            t += "value";
        if (i % 7 == 0) t += " Ω";
        ASSERT_EQ(b.CellText(0, i + 1, 1), t);
        ASSERT_EQ(b.CellText(0, i + 1, 2), std::to_string(i));
    }
    EXPECT_EQ(b.CellText(0, 1501, 1), std::string(9000, 'L') + "ΩEND");
}

TEST(XlsFixtures, AppendingKeepsEverythingElse) {
    for (const char* name : {"formatted.xls", "bigsst.xls"}) {
        Workbook before;
        ASSERT_TRUE(before.Load(Fixtures + name));
        Workbook b;
        ASSERT_TRUE(b.Load(Fixtures + name));
        const int last = b.LastRow(0);
        for (int r = 1; r <= 3000; ++r)
            for (int c = 1; c <= 3; ++c)
                b.SetCellText(0, last + r, c, "new " + std::to_string(r * 10 + c));
        b.SetCellText(0, 2, 2, "was 42"); // an existing number cell becomes text
        b.AddSheet("Added");
        Workbook r = Reloaded(b);
        ASSERT_EQ(r.SheetCount(), before.SheetCount() + 1);
        for (int s = 0; s < before.SheetCount(); ++s) {
            EXPECT_EQ(r.SheetName(s), before.SheetName(s));
            for (int row = 1; row <= before.LastRow(s); ++row)
                for (int c = 1; c <= before.LastColumn(s); ++c)
                    if (!(s == 0 && row == 2 && c == 2)) {
                        ASSERT_EQ(r.CellText(s, row, c), before.CellText(s, row, c))
                            << name << " " << row << "," << c;
                    }
        }
        EXPECT_EQ(r.CellText(0, 2, 2), "was 42");
        EXPECT_EQ(r.CellText(0, last + 3000, 3), "new 30003");
    }
}

TEST(XlsRecords, EveryKindOfCellValue) {
    auto cell = [](uint16_t row, uint16_t col, uint16_t xf = 15) {
        return D().u16(row).u16(col).u16(xf);
    };
    const uint32_t rkInt = (static_cast<uint32_t>(-7) << 2) | 2; // -7
    const uint32_t rkCents = (1234u << 2) | 3;                   // 12.34
    uint64_t bits;
    const double quarter = 0.25;
    std::memcpy(&bits, &quarter, 8);
    const uint32_t rkFloat = static_cast<uint32_t>(bits >> 32); // 0.25
    std::string sheet =
        Rec(0x027E, cell(0, 0).u32(rkInt)) + Rec(0x027E, cell(0, 1).u32(rkCents)) +
        Rec(0x027E, cell(0, 2).u32(rkFloat)) +
        Rec(0x00BD,
            D().u16(1).u16(0).u16(15).u32(rkInt).u16(16).u32(rkCents).u16(0).u32(rkFloat).u16(2)) +
        Rec(0x00BE, D().u16(2).u16(0).u16(15).u16(15).u16(1)) +
        Rec(0x0205, cell(3, 0).u8(1).u8(0)) + Rec(0x0205, cell(3, 1).u8(0x2A).u8(1)) +
        Rec(0x0203, cell(3, 2).f64(1e-7)) +
        // Formula results: text (STRING continued in a CONTINUE with a wide part), boolean, error,
        // empty, number.
        Rec(0x0006, cell(4, 0).u16(0).u32(0).u16(0xFFFF).u16(0).u32(0).u16(0)) +
        Rec(0x0207, D().u16(5).u8(0).raw("ab")) +
        Rec(0x003C, D().u8(1).u16(0x3A9).u16('c').u16('d')) +
        Rec(0x0006, cell(4, 1).u8(1).u8(0).u8(1).u8(0).u16(0).u16(0xFFFF).u16(0).u32(0).u16(0)) +
        Rec(0x0006, cell(4, 2).u8(2).u8(0).u8(0x07).u8(0).u16(0).u16(0xFFFF).u16(0).u32(0).u16(0)) +
        Rec(0x0006, cell(4, 3).u8(3).u8(0).u32(0).u16(0xFFFF).u16(0).u32(0).u16(0)) +
        Rec(0x0006, cell(4, 4).f64(2.5).u16(0).u32(0).u16(0)) +
        // LABEL whose text runs on in a CONTINUE record.
        Rec(0x0204, cell(5, 0).u16(4).u8(0).raw("ab")) + Rec(0x003C, D().u8(0).raw("yz"));
    Workbook b = FromStream(Stream({{"Cells", sheet}}));
    const std::vector<std::pair<std::pair<int, int>, std::string>> want = {
        {{1, 1}, "-7"},      {{1, 2}, "12.34"}, {{1, 3}, "0.25"},  {{2, 1}, "-7"},
        {{2, 2}, "12.34"},   {{2, 3}, "0.25"},  {{3, 1}, ""},      {{4, 1}, "TRUE"},
        {{4, 2}, "#N/A"},    {{4, 3}, "1E-07"}, {{5, 1}, "abΩcd"}, {{5, 2}, "TRUE"},
        {{5, 3}, "#DIV/0!"}, {{5, 4}, ""},      {{5, 5}, "2.5"},   {{6, 1}, "abyz"}};
    for (const auto& [pos, text] : want)
        EXPECT_EQ(b.CellText(0, pos.first, pos.second), text) << pos.first << "," << pos.second;
}

TEST(XlsRecords, SharedStringsInEveryForm) {
    // Rich text runs, phonetic data, and a string whose characters continue
    // in the next record, switching from one-byte to two-byte form.
    std::string sst = D().u32(4)
                          .u32(4)
                          .u16(3)
                          .u8(0x08)
                          .u16(1)
                          .raw("red")
                          .u16(0)
                          .u16(1) // rich, one run
                          .u16(2)
                          .u8(0x04)
                          .u32(3)
                          .raw("ph")
                          .raw("xyz") // phonetic data
                          .u16(6)
                          .u8(0)
                          .raw("abc");
    std::string cont = D().u8(1).u16('d').u16(0x3A9).u16('f').u16(1).u8(0).raw("z");
    std::string cells;
    for (uint16_t i = 0; i < 4; ++i)
        cells += Rec(0x00FD, D().u16(i).u16(0).u16(15).u32(i));
    Workbook b = FromStream(Stream({{"S", cells}}, Rec(0x00FC, sst) + Rec(0x003C, cont)));
    EXPECT_EQ(b.CellText(0, 1, 1), "red");
    EXPECT_EQ(b.CellText(0, 2, 1), "ph");
    EXPECT_EQ(b.CellText(0, 3, 1), "abcdΩf");
    EXPECT_EQ(b.CellText(0, 4, 1), "z");
    // New strings go after the old ones; the old ones keep their bytes.
    b.SetCellText(0, 6, 1, "red"); // the rich one is not reused for plain text
    b.SetCellText(0, 7, 1, "z");
    Workbook r = Reloaded(b);
    EXPECT_EQ(r.CellText(0, 3, 1), "abcdΩf");
    EXPECT_EQ(r.CellText(0, 6, 1), "red");
    EXPECT_EQ(r.CellText(0, 7, 1), "z");
}

TEST(XlsRecords, OverwritingKeepsFormatsAndNeighbours) {
    const uint32_t one = (1u << 2) | 2, two = (2u << 2) | 2, three = (3u << 2) | 2;
    std::string sheet =
        Rec(0x0208, D().u16(0).u16(0).u16(3).u16(300).u16(0).u16(0).u32(0x100)) +
        Rec(0x00BD, D().u16(0).u16(0).u16(20).u32(one).u16(21).u32(two).u16(22).u32(three).u16(2)) +
        Rec(0x0203, D().u16(1).u16(0).u16(23).f64(9.5)) +
        // A shared formula's anchor: its SHRFMLA would be orphaned.
        Rec(0x0006, D().u16(2).u16(0).u16(15).f64(1).u16(8).u32(0).u16(0)) +
        Rec(0x04BC, D().u32(0).u16(0));
    Workbook b = FromStream(Stream({{"S", sheet}}, [] {
        std::string xfs;
        for (int i = 0; i < 24; ++i)
            xfs +=
                Rec(0x00E0, D().u16(0).u16(0).u16(i < 15 ? 0xFFF5 : 1).raw(std::string(14, '\0')));
        return xfs;
    }()));
    ASSERT_TRUE(b.SetCellText(0, 1, 2, "mid"));
    ASSERT_TRUE(b.SetCellText(0, 2, 1, "was 9.5"));
    EXPECT_FALSE(b.SetCellText(0, 3, 1, "anchor"));
    EXPECT_NE(b.Error().find("A3"), std::string::npos);
    std::string bytes;
    EXPECT_FALSE(b.SaveToBytes(bytes)); // the refused edit blocks the save

    Workbook c = FromStream(Stream({{"S", sheet}}));
    ASSERT_TRUE(c.SetCellText(0, 1, 2, "mid"));
    ASSERT_TRUE(c.SetCellText(0, 2, 1, "was 9.5"));
    ASSERT_TRUE(c.SaveToBytes(bytes));
    EXPECT_EQ(CheckOffsets(bytes), "");
    // The format of each cell is in its record: read them back raw.
    const std::string st = WorkbookStream(bytes);
    std::map<std::pair<int, int>, uint16_t> xf;
    for (size_t p = 0; p + 4 <= st.size(); p += 4u + bytes::U16(st.data() + p + 2)) {
        const uint16_t t = bytes::U16(st.data() + p);
        if (t == 0x027E || t == 0x00FD || t == 0x0203)
            xf[{bytes::U16(st.data() + p + 4), bytes::U16(st.data() + p + 6)}] =
                bytes::U16(st.data() + p + 8);
    }
    EXPECT_EQ(xf[std::make_pair(0, 0)], 20);
    EXPECT_EQ(xf[std::make_pair(0, 1)], 21);
    EXPECT_EQ(xf[std::make_pair(0, 2)], 22);
    EXPECT_EQ(xf[std::make_pair(1, 0)], 23);
    Workbook r;
    ASSERT_TRUE(r.LoadFromBytes(bytes));
    EXPECT_EQ(r.CellText(0, 1, 1), "1");
    EXPECT_EQ(r.CellText(0, 1, 2), "mid");
    EXPECT_EQ(r.CellText(0, 1, 3), "3");
    EXPECT_EQ(r.CellText(0, 2, 1), "was 9.5");
    EXPECT_EQ(r.CellText(0, 3, 1), "1");
}

TEST(XlsRewrite, UntouchedSheetsKeepTheirBytesWhereverTheyMove) {
    // Sheets stored in the other order than listed; the first has INDEX and DBCELL.
    std::string g = Bof(0x0005);
    const std::string body2 = Rec(0x0204, D().u16(0).u16(0).u16(15).u16(2).u8(0).raw("s2"));
    const size_t pos1At = g.size() + 4;
    g += Rec(0x0085, D().u32(0).u8(0).u8(0).u8(2).u8(0).raw("S1"));
    const size_t pos2At = g.size() + 4;
    g += Rec(0x0085, D().u32(0).u8(0).u8(0).u8(2).u8(0).raw("S2"));
    g += Rec(0x000A, "");
    bytes::Put32(g.data() + pos2At, static_cast<uint32_t>(g.size()));
    g += Bof(0x0010) + body2 + Rec(0x000A, "");
    const uint32_t s1 = static_cast<uint32_t>(g.size());
    bytes::Put32(g.data() + pos1At, s1);
    // BOF(20) INDEX(4+20) DEFCOLWIDTH(6) ROW(20) LABEL(4+11) DBCELL(4+6) EOF
    const uint32_t defcol = s1 + 20 + 24, row = defcol + 6, dbcell = row + 20 + 15;
    g += Bof(0x0010) + Rec(0x020B, D().u32(0).u32(0).u32(1).u32(defcol).u32(dbcell)) +
         Rec(0x0055, D().u16(8)) +
         Rec(0x0208, D().u16(0).u16(0).u16(1).u16(255).u16(0).u16(0).u32(0x100)) +
         Rec(0x0204, D().u16(0).u16(0).u16(15).u16(2).u8(0).raw("s1")) +
         Rec(0x00D7, D().u32(dbcell - row).u16(20)) + Rec(0x000A, "");
    const std::string original = File(g);
    ASSERT_EQ(CheckOffsets(original), "");
    const std::string sheet1 = g.substr(s1);

    Workbook b;
    ASSERT_TRUE(b.LoadFromBytes(original)) << b.Error();
    EXPECT_EQ(b.CellText(0, 1, 1), "s1");
    EXPECT_EQ(b.CellText(1, 1, 1), "s2");
    ASSERT_TRUE(
        b.SetCellText(1, 2, 1, std::string(500, 'g'))); // grows the globals and the sheet before S1
    ASSERT_TRUE(b.SetSheetName(1, "Second, longer name"));
    std::string saved;
    ASSERT_TRUE(b.SaveToBytes(saved));
    EXPECT_EQ(CheckOffsets(saved), "");
    const std::string st = WorkbookStream(saved);
    const size_t at = st.find(sheet1.substr(44)); // S1 after its INDEX: byte for byte
    ASSERT_NE(at, std::string::npos);
    Workbook r;
    ASSERT_TRUE(r.LoadFromBytes(saved));
    EXPECT_EQ(r.SheetName(1), "Second, longer name");
    EXPECT_EQ(r.CellText(0, 1, 1), "s1");
    EXPECT_EQ(r.CellText(1, 2, 1), std::string(500, 'g'));
}

TEST(XlsRewrite, BigStringTableAndManyRowBlocks) {
    Workbook b = Workbook::CreateNew();
    for (int r = 1; r <= 20000; ++r)
        b.SetCellText(0, r, 1 + r % 7, "distinct string number " + std::to_string(r));
    Workbook r = Reloaded(b);
    for (int row : {1, 31, 32, 33, 8224, 19999, 20000})
        EXPECT_EQ(r.CellText(0, row, 1 + row % 7), "distinct string number " + std::to_string(row));
    r.SetCellText(0, 10, 1, "middle insert");
    r.SetCellText(0, 20001, 1, "end");
    Workbook again = Reloaded(r);
    EXPECT_EQ(again.CellText(0, 10, 1), "middle insert");
    EXPECT_EQ(again.CellText(0, 10, 4), "distinct string number 10");
    EXPECT_EQ(again.CellText(0, 20001, 1), "end");
}

TEST(XlsDamage, RefusedWithAReasonNeverACrash) {
    auto refused = [](const std::string& bytes) {
        Workbook b;
        const bool ok = b.LoadFromBytes(bytes);
        if (!ok) {
            EXPECT_FALSE(b.Error().empty());
            EXPECT_EQ(b.SheetCount(), 0);
        }
        return !ok;
    };
    EXPECT_TRUE(refused(""));
    EXPECT_TRUE(refused("just some text, not a workbook"));
    Workbook missing;
    EXPECT_FALSE(missing.Load("/nonexistent/folder/book.xls"));
    EXPECT_NE(missing.Error().find("/nonexistent/folder/book.xls"), std::string::npos);

    Workbook old;
    EXPECT_FALSE(old.LoadFromBytes(File(Stream({{"S", ""}}), "Book")));
    EXPECT_NE(old.Error().find("older than Excel 97"), std::string::npos);
    Workbook biff5;
    EXPECT_FALSE(biff5.LoadFromBytes(File(Bof(0x0005, 0x0500) + Rec(0x000A, ""))));
    EXPECT_NE(biff5.Error().find("older than Excel 97"), std::string::npos);
    Workbook locked;
    EXPECT_FALSE(locked.LoadFromBytes(
        File(Stream({{"S", ""}}, Rec(0x002F, D().u16(1).raw(std::string(52, 'k')))))));
    EXPECT_NE(locked.Error().find("password"), std::string::npos);

    const std::string good = ReadAll(Fixtures + "formatted.xls");
    ASSERT_FALSE(good.empty());
    for (size_t len = 0; len < good.size(); len += 97)
        refused(good.substr(0, len));
    // A cycle in the allocation table: the first FAT entry of the Workbook chain points at itself.
    std::string cyc = File(Stream({{"S", ""}}) + std::string(6000, '\0'));
    EXPECT_FALSE(refused(cyc));
    const uint32_t fatSector = bytes::U32(cyc.data() + 76);
    for (uint32_t i = 0; i < 128; ++i) {
        char* e = cyc.data() + 512 * (fatSector + 1) + 4 * i;
        if (bytes::U32(e) == i + 1) {
            bytes::Put32(e, i);
            break;
        }
    }
    EXPECT_TRUE(refused(cyc));
    std::string farDir = good;
    bytes::Put32(farDir.data() + 48, 0x7FFFFF);
    EXPECT_TRUE(refused(farDir));

    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::string bad = good;
        for (int k = 0; k < 1 + round % 8; ++k)
            bad[rng() % bad.size()] = static_cast<char>(rng());
        Workbook b;
        if (b.LoadFromBytes(bad)) {
            for (int r = 1; r <= 10; ++r)
                (void)b.CellText(0, r, 2);
            b.SetCellText(0, 3, 3, "x");
            std::string out;
            b.SaveToBytes(out);
        }
    }
}

// A string table that does not fit the cells would have the strings we add
// take the place of the user's: such a workbook is refused, not written.
TEST(XlsDamage, AStringTableThatDoesNotFitTheCellsIsRefused) {
    const std::string cells = Rec(0x00FD, D().u16(0).u16(0).u16(15).u32(0)) +
                              Rec(0x00FD, D().u16(1).u16(0).u16(15).u32(1));
    auto table = [](uint32_t unique, int strings) {
        D d;
        d.u32(2).u32(unique);
        for (int i = 0; i < strings; ++i)
            d.u16(1).u8(0).raw(std::string(1, static_cast<char>('a' + i)));
        return Rec(0x00FC, d);
    };
    EXPECT_EQ(FromStream(Stream({{"S", cells}}, table(2, 2))).CellText(0, 2, 1), "b");
    for (const std::string& globals : {table(0, 2), table(2, 1), std::string()}) {
        Workbook b;
        EXPECT_FALSE(b.LoadFromBytes(File(Stream({{"S", cells}}, globals))));
        EXPECT_NE(b.Error().find("damaged workbook"), std::string::npos) << b.Error();
    }
}

TEST(XlsText, NumbersShownAsASpreadsheetShowsThem) {
    using text::NumberText;
    EXPECT_EQ(NumberText(42), "42");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(NumberText(1e-5), "0.00001");
    EXPECT_EQ(NumberText(1.5e-6), "1.5E-06");
    EXPECT_EQ(NumberText(123456789012345678.0), "1.2345678901234568E+17");
    EXPECT_EQ(NumberText(1e15), "1E+15");
    EXPECT_EQ(NumberText(999999999999999.0), "999999999999999");
    EXPECT_EQ(NumberText(1e300), "1E+300");
}

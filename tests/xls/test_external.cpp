// What the engine writes, checked by readers that share none of its code:
// python3-xlrd and LibreOffice (scripts/validate-xls.py runs both).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/TempDir.h"
#include "xls/Workbook.h"

using namespace pelkor;
using namespace pelkor::xls;

namespace {

const std::string Source = PELKOR_SOURCE_DIR;

std::string Python() {
    for (const char* p : {"/usr/bin/python3", "python3"})
        if (std::system((std::string(p) + " -c 'import xlrd' 2>/dev/null").c_str()) == 0) return p;
    return {};
}

bool HaveLibreOffice() {
    return std::system("command -v soffice >/dev/null 2>&1") == 0;
}

class XlsExternal : public ::testing::Test {
protected:
    void SetUp() override {
        python = Python();
        if (python.empty()) GTEST_SKIP() << "python3-xlrd missing";
        if (!HaveLibreOffice()) GTEST_SKIP() << "LibreOffice missing";
    }

    // Runs the validator; "" when it passed, else what it reported.
    std::string Validate(const std::vector<std::string>& args) {
        std::string cmd = python + " " + Source + "/scripts/validate-xls.py";
        for (const auto& a : args)
            cmd += " '" + a + "'";
        const std::string err = dir.file("validate.err");
        const int rc = std::system((cmd + " 2>" + err).c_str());
        std::ifstream f(err);
        std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        return rc == 0 ? std::string() : "exit " + std::to_string(rc) + ": " + text;
    }

    // Writes the sheets and cells `book` holds as the validator's expectation.
    std::string Expectation(const Workbook& book, const std::string& name) {
        const std::string path = dir.file(name);
        std::ofstream f(path);
        for (int s = 0; s < book.SheetCount(); ++s)
            f << "sheet\t" << book.SheetName(s) << "\n";
        for (int s = 0; s < book.SheetCount(); ++s)
            for (int r = 1; r <= book.LastRow(s); ++r)
                for (int c = 1; c <= book.LastColumn(s); ++c) {
                    const std::string t = book.CellText(s, r, c);
                    if (!t.empty())
                        f << book.SheetName(s) << "\t" << r << "\t" << c << "\t" << t << "\n";
                }
        return path;
    }

    std::string python;
    TempDir dir;
};

} // namespace

TEST_F(XlsExternal, NewWorkbooksSmallAndLargeOpenInBothReaders) {
    for (int rows : {3, 400}) { // the Workbook stream in the mini stream, then in regular sectors
        Workbook b = Workbook::CreateNew();
        b.AddSheet("Messwerte Ω");
        b.AddSheet("Third");
        for (int r = 1; r <= rows; ++r) {
            b.SetCellText(0, r, 1, "2026-12-07 10:00:" + std::to_string(r % 60));
            b.SetCellText(0, r, 2, std::to_string(r * 1.5));
            b.SetCellText(1, r, 3, r % 2 ? "Grüße" : "数据");
        }
        b.SetCellText(2, 100, 256, std::string(3000, 'w') + "Ω");
        const std::string path = dir.file("new" + std::to_string(rows) + ".xls");
        ASSERT_TRUE(b.Save(path)) << b.Error();
        Workbook r;
        ASSERT_TRUE(r.Load(path));
        EXPECT_EQ(Validate({path, Expectation(r, "new.tsv")}), "");
    }
}

TEST_F(XlsExternal, AppendingToSavedWorkbooksKeepsEveryOtherCellAndFormat) {
    for (const char* name : {"formatted.xls", "bigsst.xls"}) {
        const std::string before = Source + "/tests/xls/fixtures/" + name;
        const std::string after = dir.file(std::string("appended-") + name);
        std::filesystem::copy_file(before, after,
                                   std::filesystem::copy_options::overwrite_existing);
        std::ofstream changed(dir.file("changed.tsv"));
        // Ten separate appends, each one load, a record, save, as the logger does.
        for (int round = 0; round < 10; ++round) {
            Workbook b;
            ASSERT_TRUE(b.Load(after)) << b.Error();
            const int row = b.LastRow(0) + 1;
            for (int c = 1; c <= 4; ++c) {
                const std::string t = "rec " + std::to_string(round) + "." + std::to_string(c);
                ASSERT_TRUE(b.SetCellText(0, row, c, t));
                changed << b.SheetName(0) << "\t" << row << "\t" << c << "\t" << t << "\n";
            }
            if (round == 0) {
                b.SetCellText(0, 3, 2, "replaced");
                changed << b.SheetName(0) << "\t3\t2\treplaced\n";
                b.AddSheet("Log");
            }
            b.SetCellText(b.SheetCount() - 1, round + 1, 1, "log " + std::to_string(round));
            changed << "Log\t" << round + 1 << "\t1\tlog " << round << "\n";
            ASSERT_TRUE(b.Save(after)) << b.Error();
        }
        changed.close();
        EXPECT_EQ(Validate({"--kept", before, after, dir.file("changed.tsv")}), "") << name;
    }
}

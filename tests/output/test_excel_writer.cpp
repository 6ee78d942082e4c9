// The workbook writer on the engine: positions, numbering, sheets, limits,
// workbooks held by other programs, and the resource-list loader.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "core/Clock.h"
#include "output/ExcelWriter.h"
#include "output/Output.h"
#include "output/OutputTestSupport.h"
#include "support/FileFaults.h"
#include "support/ScriptedUserInterface.h"
#include "support/TempDir.h"
#include "util/Text.h"
#include "xls/Workbook.h"

namespace pelkor {
namespace {

using testing::ReadFile;
using testing::WriteFile;

// The user reacts to the "Please close" box (closes the other program).
struct ReactingUi : ScriptedUserInterface {
    std::function<void()> OnMessage;
    MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                         MsgButtons buttons, MsgAnswer def) override {
        if (OnMessage) OnMessage();
        return ScriptedUserInterface::MessageBox(text, title, icon, buttons, def);
    }
};

class ExcelTest : public ::testing::Test {
protected:
    ReactingUi ui;
    ManualClock clock{46362.5};
    TempDir dir;
    AppContext app{ui, clock, dir.path()};
    Task& task = app.Tasks[4];
    std::string path;

    void SetUp() override {
        path = dir.file("book.xls");
        task.OutputPath = path;
        task.FileType = "XLS";
        task.TimeStamp = 0;
        testing::SetEntries(task, {{'R', 10, 2, "R<$A>", ""}});
    }
    bool Write(const std::string& values) {
        task.LastValues = values;
        return WriteExcelRecord(app, 4);
    }
    xls::Workbook Open() {
        xls::Workbook book;
        EXPECT_TRUE(book.Load(path)) << book.Error();
        return book;
    }
    std::string Cell(int row, int col, int sheet = 0) { return Open().CellText(sheet, row, col); }
    // Cells of one row (or column) as "a|b|c".
    std::string Run(int row, int col, int n, bool across = true, int sheet = 0) {
        xls::Workbook book = Open();
        std::string s;
        for (int k = 0; k < n; ++k) {
            if (k) s += '|';
            s += across ? book.CellText(sheet, row, col + k) : book.CellText(sheet, row + k, col);
        }
        return s;
    }
    void MakeBook(const std::vector<std::string>& extraSheets,
                  std::function<void(xls::Workbook&)> fill = {}) {
        xls::Workbook book = xls::Workbook::CreateNew();
        for (const auto& s : extraSheets)
            book.AddSheet(s);
        if (fill) fill(book);
        ASSERT_TRUE(book.Save(path)) << book.Error();
    }
};

TEST(ParseCellReference, ValidAndInvalidReferences) {
    int row = 0, col = 0;
    ASSERT_TRUE(ParseCellReference("b3", row, col));
    EXPECT_EQ(row, 3);
    EXPECT_EQ(col, 2);
    ASSERT_TRUE(ParseCellReference("AA10", row, col));
    EXPECT_EQ(row, 10);
    EXPECT_EQ(col, 27);
    ASSERT_TRUE(ParseCellReference("IV65536", row, col));
    EXPECT_EQ(row, 65536);
    EXPECT_EQ(col, 256);
    row = col = -1;
    for (const char* bad :
         {"", "A", "3B", "ABC1", "IW1", "A65537", "A0", "A1B", "$A$1", "A-1", "AA", "A99999999999"})
        EXPECT_FALSE(ParseCellReference(bad, row, col)) << bad;
    EXPECT_EQ(row, -1);
    EXPECT_EQ(col, -1);
}

TEST_F(ExcelTest, ResetSheetPointersNormalisesStartCell) {
    task.StartCell = "b3";
    EXPECT_TRUE(ResetExcelSheetPointers(app, 4));
    EXPECT_EQ(task.StartCell, "B3");
    EXPECT_EQ(task.ExcelRow, 3);
    EXPECT_EQ(task.ExcelColumn, 2);

    task.StartCell = "";
    EXPECT_TRUE(ResetExcelSheetPointers(app, 4));
    EXPECT_EQ(task.StartCell, "A1");

    for (const char* bad : {"a", "3B", "abc1"}) {
        task.StartCell = bad;
        EXPECT_FALSE(ResetExcelSheetPointers(app, 4));
        EXPECT_EQ(app.Status.LastErrorText, "Unvalid Excel Start Cell : " + UpperCase(bad));
        EXPECT_EQ(task.StartCell, "A1");
        EXPECT_EQ(task.ExcelRow, 1);
        EXPECT_EQ(task.ExcelColumn, 1);
    }
}

TEST_F(ExcelTest, NewFileGetsHeadCellsAtStartCellAndRecordsBelow) {
    task.StartCell = "b2";
    task.HeadLines = 1;
    task.LineCount = 1;
    task.LineCountText = "No";
    ASSERT_TRUE(Write("1;2")) << app.Status.LastErrorText;
    EXPECT_EQ(task.LastValues, "1;1;2"); // the number goes to the DDE server too
    ASSERT_TRUE(Write("3;")) << app.Status.LastErrorText;
    EXPECT_EQ(Run(2, 2, 3), "No|R10|R11");
    EXPECT_EQ(Run(3, 2, 3), "1|1|2");
    EXPECT_EQ(Run(4, 2, 3), "2|3|");
    EXPECT_EQ(Cell(5, 2), "");
    EXPECT_EQ(Cell(1, 1), "");
    EXPECT_EQ(task.StartCell, "B2");
}

TEST_F(ExcelTest, OrientationColumnsRunsDownAndMovesRight) {
    task.Orientation = 1;
    task.StartCell = "C1";
    task.HeadLines = 1;
    ASSERT_TRUE(Write("1;2"));
    ASSERT_TRUE(Write("3;4"));
    EXPECT_EQ(Run(1, 3, 2, false), "R10|R11");
    EXPECT_EQ(Run(1, 4, 2, false), "1|2");
    EXPECT_EQ(Run(1, 5, 2, false), "3|4");
    EXPECT_EQ(Cell(3, 3), "");
}

TEST_F(ExcelTest, NumberingContinuesFromRowsFoundAfterRestartAndHandEdits) {
    task.HeadLines = 1;
    task.LineCount = 1;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(Write("v;w"));
    EXPECT_EQ(Run(4, 1, 3), "3|v|w");

    // A restarted program: counter and position are gone.
    task.LineCounter = 0;
    task.ExcelRow = task.ExcelColumn = 0;
    ASSERT_TRUE(Write("x;y"));
    EXPECT_EQ(Run(5, 1, 3), "4|x|y");

    // Rows typed by hand below the block are kept and counted.
    {
        xls::Workbook book = Open();
        book.SetCellText(0, 6, 1, "typed");
        book.SetCellText(0, 7, 2, "only here");
        ASSERT_TRUE(book.Save(path));
    }
    task.LineCounter = 0;
    ASSERT_TRUE(Write("z;z"));
    EXPECT_EQ(Run(6, 1, 3), "typed||");
    EXPECT_EQ(Run(7, 1, 3), "|only here|");
    EXPECT_EQ(Run(8, 1, 3), "7|z|z");
    EXPECT_EQ(Run(1, 1, 3), "|R10|R11"); // one head row only
    EXPECT_EQ(Run(2, 1, 3), "1|v|w");
}

TEST_F(ExcelTest, RecordWithEmptyFirstCellIsNotOverwrittenAfterRestart) {
    ASSERT_TRUE(Write("1;2"));
    ASSERT_TRUE(Write(";5")); // first value missing
    task.LineCounter = 0;
    ASSERT_TRUE(Write("7;8"));
    EXPECT_EQ(Run(2, 1, 2), "|5");
    EXPECT_EQ(Run(3, 1, 2), "7|8");
}

TEST_F(ExcelTest, MissingSheetIsAppendedAfterTheLastAndNumberingRestarts) {
    MakeBook({"Other"}, [](xls::Workbook& b) { b.SetCellText(1, 1, 1, "keep"); });
    task.OutSheet = "Log";
    task.LineCount = 1;
    task.LineCounter = 7;
    task.ExcelRow = 9;
    ASSERT_TRUE(Write("1;2")) << app.Status.LastErrorText;
    xls::Workbook book = Open();
    ASSERT_EQ(book.SheetCount(), 3);
    EXPECT_EQ(book.SheetName(1), "Other");
    EXPECT_EQ(book.SheetName(2), "Log");
    EXPECT_EQ(book.CellText(2, 1, 1), "1");
    EXPECT_EQ(book.CellText(1, 1, 1), "keep");

    // A workbook cannot hold "log" beside "Log": the record goes on below.
    task.OutSheet = "log";
    ASSERT_TRUE(Write("3;4")) << app.Status.LastErrorText;
    book = Open();
    EXPECT_EQ(book.SheetCount(), 3);
    EXPECT_EQ(book.CellText(2, 2, 2), "3");

    // Empty OutSheet: the first sheet.
    task.OutSheet = "";
    task.LineCounter = 0;
    ASSERT_TRUE(Write("5;6"));
    EXPECT_EQ(Open().CellText(0, 1, 2), "5");
}

TEST_F(ExcelTest, OverwriteModeRewritesTheSameBlock) {
    task.Overwrite = 1;
    task.HeadLines = 1;
    task.LineCount = 1;
    task.StartCell = "B2";
    ASSERT_TRUE(Write("1;2"));
    ASSERT_TRUE(Write("3;4"));
    ASSERT_TRUE(Write(";6")); // a missing value clears the old one
    EXPECT_EQ(Run(2, 2, 3), "|R10|R11");
    EXPECT_EQ(Run(3, 2, 3), "3||6");
    EXPECT_EQ(Cell(4, 2), "");
    EXPECT_EQ(task.ExcelRow, 2);
    EXPECT_EQ(task.ExcelColumn, 2);

    task.HeadLines = 0;
    task.LineCount = 0;
    ASSERT_TRUE(Write("8;9"));
    EXPECT_EQ(Run(2, 2, 2), "8|9");
}

TEST_F(ExcelTest, RecordLeavingTheSheetFailsAndWritesNothing) {
    const std::string values = "0;1;2;3;4;5;6;7;8;9";
    task.StartCell = "IP1"; // column 250
    EXPECT_FALSE(Write(values));
    EXPECT_EQ(app.Status.LastErrorText,
              "Excel Wrinting Aborted : Cell position is over the limits !");
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(task.LineCounter, 0);
    EXPECT_EQ(task.LastValues, values);

    task.StartCell = "IL1"; // column 246: the last cell lands in 255
    ASSERT_TRUE(Write(values)) << app.Status.LastErrorText;
    EXPECT_EQ(Cell(1, 255), "9");

    std::filesystem::remove(path);
    task.LineCounter = 0;
    task.Orientation = 1;
    task.StartCell = "A65531"; // 5 rows above the last row
    EXPECT_FALSE(Write(values));
    EXPECT_EQ(app.Status.LastErrorText,
              "Excel Wrinting Aborted : Cell position is over the limits !");
    task.StartCell = "A65526";
    ASSERT_TRUE(Write(values));
    EXPECT_EQ(Cell(65535, 1), "9");
}

TEST_F(ExcelTest, AppendSearchStopsAtTheLastRow) {
    task.StartCell = "A65535";
    ASSERT_TRUE(Write("1;2"));
    ASSERT_TRUE(Write("3;4"));
    EXPECT_EQ(Cell(65536, 1), "3");
    EXPECT_FALSE(Write("5;6"));
    EXPECT_EQ(app.Status.LastErrorText,
              "Excel Wrinting Aborted : Cell position is over the limits !");
    EXPECT_EQ(Cell(65536, 1), "3");
}

TEST_F(ExcelTest, SheetThatCannotBeMadeIsReported) {
    task.OutSheet = std::string(40, 'x'); // longer than a sheet name may be
    xls::Workbook probe = xls::Workbook::CreateNew();
    if (probe.AddSheet(task.OutSheet) >= 0) GTEST_SKIP() << "engine accepts long sheet names";
    EXPECT_FALSE(Write("1"));
    EXPECT_EQ(app.Status.LastErrorText, "Excel Wrinting Aborted : Excel Sheet is nothing !");
}

TEST_F(ExcelTest, HeldWorkbookGetsTheWarningFirstThenTheFailure) {
    MakeBook({});
    const std::string lock = dir.file(".~lock.book.xls#");
    WriteFile(lock, "someone,host,...");
    const std::string before = ReadFile(path);
    EXPECT_TRUE(IsWorkbookOpen(path));

    EXPECT_FALSE(Write("1;2"));
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].Text, "Please close the Excel file : \r" + path +
                                         "\rLock file : " + lock +
                                         "\r(remove it if no program has the workbook open)");
    EXPECT_EQ(ui.Messages()[0].Icon, MsgIcon::Exclamation);
    EXPECT_EQ(ui.Messages()[0].Buttons, MsgButtons::Ok);
    EXPECT_EQ(ui.Messages()[0].Title, "Pelkor");
    EXPECT_EQ(app.Status.LastErrorText, "The Excel file is already open ! Lock file : " + lock);
    EXPECT_EQ(ReadFile(path), before);

    // The user closes the other program when asked: the write goes on.
    ui.ClearMessages();
    ui.OnMessage = [&] { std::filesystem::remove(lock); };
    ASSERT_TRUE(Write("1;2")) << app.Status.LastErrorText;
    EXPECT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(Cell(1, 1), "1");

    // Not held: no box at all.
    ui.ClearMessages();
    ASSERT_TRUE(Write("3;4"));
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(ExcelTest, SignsOfAnotherProgramHoldingTheWorkbook) {
    MakeBook({});
    EXPECT_FALSE(IsWorkbookOpen(path));
    EXPECT_FALSE(IsWorkbookOpen(dir.file("none.xls")));

    WriteFile(dir.file("~$book.xls"), "owner");
    EXPECT_TRUE(IsWorkbookOpen(path));
    std::filesystem::remove(dir.file("~$book.xls"));

    {
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_SH), 0);
        EXPECT_TRUE(IsWorkbookOpen(path));
        ::close(fd);
        EXPECT_FALSE(IsWorkbookOpen(path));
    }

    // A record lock held by another process.
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(release[1]);
        const int fd = ::open(path.c_str(), O_RDWR);
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &fl) == 0) ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        struct pollfd p {
            release[0], POLLIN, 0
        };
        ::poll(&p, 1, 10000);
        ::_exit(0);
    }
    char ok = '0';
    struct pollfd p {
        ready[0], POLLIN, 0
    };
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, '1');
    EXPECT_TRUE(IsWorkbookOpen(path));
    ::close(release[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_FALSE(IsWorkbookOpen(path));
    ::close(ready[0]);
    ::close(ready[1]);
    ::close(release[0]);
}

TEST_F(ExcelTest, DamagedWorkbookIsAnErrorAndStaysUntouched) {
    WriteFile(path, "this is no workbook at all, just text that someone saved as .xls");
    const std::string before = ReadFile(path);
    task.LineCounter = 3;
    task.ExcelRow = 4;
    EXPECT_FALSE(Write("1;2"));
    EXPECT_EQ(app.Status.LastErrorText.rfind("Excel Wrinting Error = ", 0), 0u)
        << app.Status.LastErrorText;
    EXPECT_NE(app.Status.LastErrorText.find("(Task 4, " + path + ")"), std::string::npos)
        << app.Status.LastErrorText;
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(task.LineCounter, 3);
    EXPECT_EQ(task.ExcelRow, 4);
}

// The block's content decides whether its first row is a head row.
TEST_F(ExcelTest, RestartNumbersFromTheRowsFoundNotFromTodaysHeadLinesSetting) {
    task.LineCount = 1;
    MakeBook({}, [](xls::Workbook& b) {
        for (int r = 1; r <= 300; ++r)
            b.SetCellText(0, r, 1, std::to_string(r));
    });
    task.HeadLines = 1; // switched on after 300 rows without a head row
    ASSERT_TRUE(Write("v;w")) << app.Status.LastErrorText;
    EXPECT_EQ(Run(301, 1, 3), "301|v|w");

    MakeBook({}, [](xls::Workbook& b) {
        b.SetCellText(0, 1, 2, "R10");
        for (int r = 2; r <= 3; ++r)
            b.SetCellText(0, r, 1, std::to_string(r - 1));
    });
    task.HeadLines = 0; // switched off after a block begun with a head row
    task.LineCounter = 0;
    ASSERT_TRUE(Write("v;w"));
    EXPECT_EQ(Run(4, 1, 3), "3|v|w");
}

TEST_F(ExcelTest, ReadOnlyWorkbookFolderAndLinkedWorkbook) {
    ASSERT_TRUE(Write("1;2"));
    ::chmod(path.c_str(), 0444);
    const std::string before = ReadFile(path);
    EXPECT_FALSE(Write("3;4"));
    EXPECT_EQ(app.Status.LastErrorText,
              "Excel Wrinting Error = Cannot write " + path + " : the file is read-only (Task 4)");
    EXPECT_EQ(ReadFile(path), before);
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(Write("3;4"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the mode is kept";

    // A link keeps pointing at the real workbook, which gets the records.
    std::filesystem::create_directories(dir.file("out"));
    std::filesystem::create_symlink("../book.xls", dir.file("out/book.xls"));
    task.OutputPath = dir.file("out/book.xls");
    ASSERT_TRUE(Write("5;6")) << app.Status.LastErrorText;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("out/book.xls")));
    EXPECT_EQ(Run(3, 1, 2), "5|6");

    std::filesystem::create_directories(dir.file("folder.xls"));
    task.OutputPath = dir.file("folder.xls");
    EXPECT_FALSE(Write("7;8"));
    EXPECT_EQ(app.Status.LastErrorText,
              "Excel Wrinting Error = a folder stands where the workbook should be: " +
                  dir.file("folder.xls") + " (Task 4)");
}

TEST_F(ExcelTest, CrashOrFullDiskDuringASaveLosesNothing) {
    ASSERT_TRUE(Write("1;2"));
    for (FileStep step : ReplaceSteps) {
        const int rows = Open().LastRow(0);
        EXPECT_TRUE(CrashAt(step, [&] { Write("3;4"); }));
        const int after = Open().LastRow(0); // loads: old or new, complete
        EXPECT_TRUE(after == rows || after == rows + 1) << static_cast<int>(step);
    }
    const std::string before = ReadFile(path);
    task.LineCounter = 0;
    {
        FullDisk full;
        EXPECT_FALSE(Write("5;6"));
    }
    EXPECT_NE(app.Status.LastErrorText.find("No space left on device"), std::string::npos);
    EXPECT_EQ(ReadFile(path), before);
    ASSERT_TRUE(Write("5;6"));
    EXPECT_EQ(Run(Open().LastRow(0), 1, 2), "5|6");
}

TEST_F(ExcelTest, EmptyFileIsStartedAsNewWorkbook) {
    WriteFile(path, "");
    task.LineCounter = 5;
    ASSERT_TRUE(Write("1;2")) << app.Status.LastErrorText;
    EXPECT_EQ(Run(1, 1, 2), "1|2");
}

// What an independent reader sees of a workbook the writer made.
TEST_F(ExcelTest, IndependentReaderSeesSheetsAndCells) {
    std::string python;
    for (const char* p : {"/usr/bin/python3", "python3"})
        if (python.empty() &&
            std::system((std::string(p) + " -c 'import xlrd' 2>/dev/null").c_str()) == 0)
            python = p;
    if (python.empty()) GTEST_SKIP() << "python3-xlrd missing";
    task.HeadLines = 1;
    task.LineCount = 1;
    task.LineCountText = "No";
    task.OutSheet = "Log";
    ASSERT_TRUE(Write("1;-2"));
    ASSERT_TRUE(Write(";4"));
    const std::string out = dir.file("cells.txt");
    const std::string cmd =
        python +
        " -c \"import sys, xlrd\n"
        "b = xlrd.open_workbook(sys.argv[1])\n"
        "for s in b.sheets():\n"
        "  print(s.name + ':' + '/'.join('|'.join(str(c) for c in s.row_values(r)) "
        "for r in range(s.nrows)))\" " +
        path + " > " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(ReadFile(out), "Sheet1:\nLog:No|R10|R11/1|1|-2/2||4\n");
}

class LoadResourcesTest : public ExcelTest {
protected:
    void SetUp() override {
        ExcelTest::SetUp();
        MakeBook({"List"}, [](xls::Workbook& b) {
            b.SetCellText(1, 2, 2, "r 100 [4]");
            b.SetCellText(1, 2, 4, "f 5");
            b.SetCellText(1, 3, 3, "clk");
            b.SetCellText(1, 5, 2, "outside");
            b.SetCellText(0, 1, 1, "i 8");
        });
        task.DataFile = path;
        task.DataSheet = "List";
        task.DataCell = "b2:d4";
        task.Data = "OLD";
        task.DataHead = "old head";
    }
};

TEST_F(LoadResourcesTest, WalksTheRangeRowByRowSkippingEmptyCells) {
    ASSERT_TRUE(LoadResourcesFromWorkbook(app, 4));
    EXPECT_EQ(task.Data, "R 100 [4];F 5;CLK");
    EXPECT_EQ(task.DataHead, "");

    task.DataSheet = "";
    task.DataCell = "A1:A1";
    ASSERT_TRUE(LoadResourcesFromWorkbook(app, 4));
    EXPECT_EQ(task.Data, "I 8");
}

TEST_F(LoadResourcesTest, NothingLoadedWhenRangeSheetOrFileDoNotApply) {
    auto expectEmpty = [&](const char* what) {
        task.Data = "OLD";
        EXPECT_TRUE(LoadResourcesFromWorkbook(app, 4)) << what;
        EXPECT_EQ(task.Data, "") << what;
    };
    task.DataCell = "B2";
    expectEmpty("no colon");
    task.DataCell = "D4:B2";
    expectEmpty("first cell after the last");
    task.DataCell = "B2:ABC4";
    expectEmpty("bad reference");
    task.DataCell = "B2:D4";
    task.DataSheet = "list";
    expectEmpty("sheet names compare exactly");
    task.DataSheet = "List";
    task.DataFile = dir.file("missing.xls");
    expectEmpty("missing file");
    task.DataFile = ".xls";
    expectEmpty(".xls only at the first character");
    WriteFile(dir.file("list.txt"), "x");
    task.DataFile = dir.file("list.txt");
    expectEmpty("not a workbook name");

    task.DataFile = dir.file("Broken.XLS");
    WriteFile(task.DataFile, "garbage");
    task.Data = "OLD";
    EXPECT_FALSE(LoadResourcesFromWorkbook(app, 4));
    EXPECT_FALSE(app.Status.LastErrorText.empty());
    EXPECT_EQ(task.Data, "");
}

} // namespace
} // namespace pelkor

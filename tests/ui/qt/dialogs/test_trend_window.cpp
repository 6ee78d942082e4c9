// The trend window on the application object: live readings of the
// simulator, and files opened from disk.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QTest>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "sim/PcdSim.h"
#include "ui/qt/MainWindowTestApp.h"
#include "ui/qt/QtTestSupport.h"
#include "ui/qt/dialogs/TrendWindow.h"
#include "util/DateTime.h"
#include "util/Number.h"
#include "util/Text.h"

namespace pelkor {
namespace {

struct TrendWindowTest : ::testing::Test {
    WindowTestApp t;
    std::unique_ptr<TrendWindow> w;

    void Open() {
        w = std::make_unique<TrendWindow>(t.app);
        w->show();
        QApplication::processEvents();
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = t.dir.file(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    int DrawnPieces() {
        int n = 0;
        for (QAbstractSeries* s : Control<QChartView>(w.get(), "chtTrend")->chart()->series())
            if (s->isVisible() && !static_cast<QLineSeries*>(s)->points().isEmpty()) ++n;
        return n;
    }
};

TEST_F(TrendWindowTest, LiveRampEqualsTheCsvAndTheLastValueIsShown) {
    pcdsim::Simulator sim;
    sim.AddStation(0).SetGenerator(pcdsim::Resource::Register, 10,
                                   pcdsim::Generator::Ramp(0, 1000, 2));
    ASSERT_TRUE(sim.Start()) << sim.LastError();
    setenv("PELSBUS_COM1", sim.SlavePath().c_str(), 1);
    const std::string file =
        Write("trend.pelk",
              "[Pelkor]\nVersion=3\nTask=1\n[Connection]\nAutoConnect=0\nStation=0\n[Task1]\nData="
              "R 10 [2]\n"
              "FileType=CSV\nHeadLines=1\nTimeStamp=1\nFileIndex=0\nFileName=ramp\nOutFolder=" +
                  t.dir.path() + "\n");
    ASSERT_TRUE(t.app.Start(file + " PG5=20", t.dir.path()));
    Open();
    ASSERT_TRUE(t.app.Connection().OpenPcdConnection(false));
    for (int i = 0; i < 6; ++i) {
        t.clock.AdvanceSeconds(1);
        ASSERT_TRUE(t.app.Engine().ReadPCDValues(1, true, true));
        QTest::qWait(60); // the ramp moves on between readings
    }
    const trend::TrendModel& m = w->Model();
    ASSERT_EQ(m.SeriesCount(), 2u);
    EXPECT_EQ(m.At(0).Name, "R 10");
    ASSERT_EQ(m.Rows(), 6u);
    std::ifstream in(t.dir.file("ramp.csv"), std::ios::binary);
    std::string line;
    std::getline(in, line); // the head line
    for (std::size_t r = 0; std::getline(in, line); ++r) {
        const std::vector<std::string> cells = Split(Trim(line), ';');
        ASSERT_EQ(cells.size(), 3u) << line;
        EXPECT_EQ(m.At(0).Values.at(r), LeadingNumber(cells[1])) << r;
        EXPECT_EQ(m.At(1).Values.at(r), LeadingNumber(cells[2])) << r;
        if (r == 5) {
            EXPECT_EQ(Control<QTableWidget>(w.get(), "grdSeries")->item(0, 3)->text().toStdString(),
                      cells[1]);
        }
    }
    EXPECT_NE(m.At(0).Extremes.Min(), m.At(0).Extremes.Max()); // a ramp, not a constant
    w->close();
    EXPECT_TRUE(t.app.Engine().ReadPCDValues(1, true, true)); // readings go on without it
}

TEST_F(TrendWindowTest, FilesGapsRecordNumbersAndRefusals) {
    Open();
    ASSERT_TRUE(w->OpenFile(Write("gaps.csv", "1;10;5\r\n2;;6\r\n3;30;7\r\nbroken;;;;\r\n")));
    EXPECT_EQ(w->Model().Axis(), trend::AxisKind::RecordNumber);
    EXPECT_EQ(DrawnPieces(), 3); // the line count is the axis; the gap splits a line in two
    EXPECT_EQ(Control<QLabel>(w.get(), "lblStatus")->text(),
              "gaps.csv: 3 records, 1 malformed lines skipped");
    auto* grid = Control<QTableWidget>(w.get(), "grdSeries");
    grid->item(0, 0)->setCheckState(Qt::Unchecked); // hide the gapped series
    EXPECT_EQ(DrawnPieces(), 1);
    grid->item(1, 7)->setText("ten"); // not a number: put back
    EXPECT_EQ(grid->item(1, 7)->text(), "1");
    grid->item(1, 7)->setText("10");
    EXPECT_EQ(w->Model().At(1).Scale, 10.0);
    const std::string csv = t.dir.file("shown.csv");
    ASSERT_TRUE(w->Export(csv));
    std::ifstream in(csv, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}),
              "Record;Column 3\r\n1;5\r\n2;6\r\n3;7\r\n");
    ASSERT_TRUE(w->SaveImage(t.dir.file("trend.png")));
    EXPECT_GT(std::filesystem::file_size(t.dir.file("trend.png")), 1000u);

    EXPECT_FALSE(w->OpenFile(Write("text.csv", "Task;State\r\nTask 1;on\r\n")));
    ASSERT_NE(t.ui.LastMessage(), nullptr);
    EXPECT_NE(t.ui.LastMessage()->Text.find("no column of numbers"), std::string::npos);
    EXPECT_EQ(w->Model().Rows(), 3u);
}

TEST_F(TrendWindowTest, HundredThousandLineFileOpensAndZooms) {
    std::string text = "Time;A\r\n";
    for (int i = 0; i < 100000; ++i)
        text += GeneralDateText(45000 + i / 86400.0) + ";" + std::to_string(i % 977) + "\r\n";
    Open();
    ASSERT_TRUE(w->OpenFile(Write("big.csv", text)));
    EXPECT_EQ(w->Model().Rows(), 100000u);
    const auto [from, to] = w->ShownSpan();
    w->SetZoom(std::make_pair(from, from + 60));
    EXPECT_EQ(w->ShownSpan().second, from + 60);
    EXPECT_NE(w->ValuesText(from + 30).indexOf("A: 30"), -1);
    Click(w.get(), "cmdResetZoom");
    EXPECT_EQ(w->ShownSpan().second, to);
    QTest::keyClick(Control(w.get(), "chtTrend"), Qt::Key_Plus); // the keyboard zooms too
    EXPECT_LT(w->ShownSpan().second - w->ShownSpan().first, (to - from) * 0.9);
    QTest::keyClick(Control(w.get(), "chtTrend"), Qt::Key_Home);
    EXPECT_EQ(w->ShownSpan().second, to);
}

TEST(TrendMenu, EditMenuOpensOneTrendWindow) {
    MainWindowTestApp m;
    auto* action = m.window.findChild<QAction*>("m_trend");
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), "T&rend...");
    action->trigger();
    action->trigger();
    EXPECT_EQ(m.window.findChildren<TrendWindow*>().size(), 1);
}

} // namespace
} // namespace pelkor

// The trend logic: the series model, the live feed's names and values, and
// reading back the files Pelkor writes.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "support/ResourceEntries.h"
#include "support/TempDir.h"
#include "trend/TrendSources.h"
#include "util/DateTime.h"
#include "xls/Workbook.h"

using namespace pelkor;
using namespace pelkor::trend;

TEST(TrendModel, KeepsTheNewestRowsWithTheirExtremesAndLastValue) {
    TrendModel m(3);
    m.Reset(AxisKind::RecordNumber, {"a"});
    for (double v : {5.0, 1.0, 9.0, Missing, 7.0})
        m.AddRow(m.Rows() + 1.0, {v});
    ASSERT_EQ(m.Rows(), 3u);
    EXPECT_EQ(m.At(0).Values.front(), 9.0); // 5 and 1 dropped
    EXPECT_EQ(m.At(0).Extremes.Min(), 7.0);
    EXPECT_EQ(m.At(0).Extremes.Max(), 9.0);
    EXPECT_EQ(m.At(0).Last, 7.0); // a missing value is not the last one
    EXPECT_TRUE(std::isnan(m.At(0).Values[1]));
}

TEST(TrendModel, ReductionKeepsGapsAndExtremes) {
    TrendModel m;
    m.Reset(AxisKind::RecordNumber, {"a"});
    for (int i = 0; i < 10000; ++i)
        m.AddRow(i, {i == 5000 ? Missing : (i == 1234 ? 1e6 : i % 10 * 1.0)});
    const std::vector<Point> p = m.Reduced(0, 0, 9999, 100);
    EXPECT_LT(p.size(), 400u);
    int gaps = 0;
    double top = 0;
    for (const Point& q : p) {
        if (std::isnan(q.Y))
            ++gaps;
        else
            top = std::max(top, q.Y);
    }
    EXPECT_EQ(gaps, 1);
    EXPECT_EQ(top, 1e6);
    EXPECT_EQ(m.Reduced(0, 10, 12, 100).size(), 3u); // few points: all of them
}

TEST(TrendFile, HeadLineTimeStampsGapsAndMalformedLines) {
    const std::string text = "Time;Missing;Task;Temp;Level\r\n"
                             "2023-03-15 12:00:00;0;Task 1;20.5;3\r\n"
                             "2023-03-15 12:01:00;1;Task 1;;4\r\n"
                             "not a time;0;Task 1;1;1\r\n"
                             "2023-03-15 12:03:00;0;Task 1;21;5;99\r\n"
                             "2023-03-15 12:04:00;0;Task 1;22;x\r\n"
                             "2023-03-15 12:05:00;0;Task 1;23;6\r\n";
    TrendModel m;
    FileSummary s;
    std::string error;
    ASSERT_TRUE(ReadTrendText(text, m, s, error)) << error;
    EXPECT_TRUE(s.HeadLine);
    EXPECT_EQ(s.Records, 3u);
    EXPECT_EQ(s.Malformed, 3u);
    ASSERT_EQ(m.SeriesCount(), 3u); // the task column holds no number
    EXPECT_EQ(m.At(1).Name, "Temp");
    EXPECT_EQ(m.Axis(), AxisKind::Time);
    EXPECT_EQ(m.X(1) - m.X(0), 60.0);
    EXPECT_TRUE(std::isnan(m.At(1).Values[1]));
    EXPECT_EQ(m.At(2).Last, 6.0);
}

TEST(TrendFile, WithoutTimeStampsByRecordNumberAndWithoutNumbersRefused) {
    TrendModel m;
    FileSummary s;
    std::string error;
    ASSERT_TRUE(ReadTrendText("1;10\r\n2;20\r\n3;30\r\n", m, s, error)) << error;
    EXPECT_FALSE(s.HeadLine);
    EXPECT_EQ(m.Axis(), AxisKind::RecordNumber);
    EXPECT_EQ(m.X(2), 3.0);
    ASSERT_EQ(m.SeriesCount(), 1u); // the line count numbers the records
    EXPECT_EQ(m.At(0).Name, "Column 2");
    ASSERT_TRUE(ReadTrendText("5;10\r\n3;20\r\n2;30\r\n", m, s, error));
    EXPECT_EQ(m.SeriesCount(), 2u); // not a count: a series
    EXPECT_FALSE(ReadTrendText("a;b\r\nTask 1;x\r\n", m, s, error));
    EXPECT_NE(error.find("no column of numbers"), std::string::npos);
    EXPECT_EQ(m.Rows(), 3u); // a refused file leaves the trend as it was
}

TEST(TrendFile, WorkbookBlockAndExportRoundTrip) {
    TempDir dir;
    xls::Workbook book = xls::Workbook::CreateNew();
    const char* rows[][3] = {
        {"Nr", "Flow", "Valve"}, {"1", "0.5", "1"}, {"2", "", "0"}, {"3", "1.5", "1"}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            ASSERT_TRUE(book.SetCellText(0, r + 3, c + 2, rows[r][c]));
    const std::string xlsPath = dir.path() + "/block.xls";
    ASSERT_TRUE(book.Save(xlsPath));
    TrendModel m;
    FileSummary s;
    std::string error;
    ASSERT_TRUE(ReadTrendFile(xlsPath, m, s, error)) << error;
    ASSERT_EQ(m.SeriesCount(), 2u);
    EXPECT_EQ(m.At(0).Name, "Flow");
    EXPECT_TRUE(std::isnan(m.At(0).Values[1]));

    m.At(0).Scale = 10; // drawing only: the export keeps the real value
    const std::string csv = dir.path() + "/shown.csv";
    ASSERT_TRUE(ExportShown(m, 2, 3, csv, error)) << error;
    std::ifstream in(csv, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(written, "Record;Flow;Valve\r\n2;;0\r\n3;1.5;1\r\n");
    EXPECT_FALSE(ReadTrendFile(dir.path() + "/none.csv", m, s, error));
}

TEST(TrendFile, HundredThousandLinesOpen) {
    std::string text = "Time;A;B\r\n";
    const Date start = DateFromParts(2023, 3, 15);
    for (int i = 0; i < 100000; ++i)
        text += GeneralDateText(start + i / 86400.0) + ";" + std::to_string(i) + ";" +
                std::to_string(-i) + "\r\n";
    TrendModel m;
    FileSummary s;
    std::string error;
    ASSERT_TRUE(ReadTrendText(text, m, s, error)) << error;
    EXPECT_EQ(m.Rows(), 100000u);
    EXPECT_EQ(m.At(0).Last, 99999.0);
    EXPECT_EQ(m.At(1).Extremes.Min(), -99999.0);
}

TEST(TrendLive, NamesFromTheHeadsOrTheResourceAndMissingFields) {
    Task t;
    t.ResourceCount = 3;
    t.Resources = {MakeEntry('R', 2, 100, "Temp <$I+1>", ";12;-3"),
                   MakeEntry('K', 1, 0, "Clock", ";2023-03-15 12:00:00"),
                   MakeEntry('F', 2, 7, "", ";;")};
    EXPECT_EQ(LiveSeriesNames(t), (std::vector<std::string>{"Temp 1", "Temp 2", "F 7", "F 8"}));
    const std::vector<double> v = LiveValues(t);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0], 12.0);
    EXPECT_EQ(v[1], -3.0);
    EXPECT_TRUE(std::isnan(v[2]) && std::isnan(v[3]));

    TrendModel m;
    LiveFeed feed(m);
    feed.Follow(2);
    EXPECT_FALSE(feed.Add(1, 45000.5, t));
    EXPECT_TRUE(feed.Add(2, 45000.5, t));
    t.ResourceCount = 1; // an edited list starts the series anew
    EXPECT_TRUE(feed.Add(2, 45000.6, t));
    EXPECT_EQ(m.SeriesCount(), 2u);
    EXPECT_EQ(m.Rows(), 1u);
}

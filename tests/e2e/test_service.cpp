// pelkor as an unattended service: a start file with AutoConnect=0 and no
// folders, run headless with and without --start, ended by SIGTERM.

#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/E2eSupport.h"
#include "sim/PcdSim.h"
#include "support/TempDir.h"

namespace pelkor::e2e {
namespace {

const char* const Job =
    "[Pelkor]\nVersion=3\nLogUsed=1\nTask=1\n\n[Connection]\nAutoConnect=0\nStation=1\nDLL=0\n\n"
    "[Task1]\nSettings=1\nIntervalUnit=0\nReadInterval=1\nData=R 0 "
    "[2]\nFileName=plant\nFileIndex=0\nFileType=CSV\n";

class ServiceTest : public ::testing::Test {
protected:
    TempDir dir;
    pcdsim::Simulator sim;
    std::string data = dir.file("xdg/pelkor");

    void SetUp() override {
        sim.AddStation(1).SetRegister(1, 77);
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        WriteAll(dir.file("plant job.pelk"), Job);
    }
    std::unique_ptr<Child> Pelkor(std::vector<std::string> options) {
        options.insert(options.end(), {dir.file("plant job.pelk"), "PG5=20"});
        return std::make_unique<Child>(
            BinDir() + "/pelkor", options,
            std::map<std::string, std::string>{{"PELSBUS_COM1", sim.SlavePath()},
                                               {"LC_ALL", "C"},
                                               {"XDG_DATA_HOME", dir.file("xdg")}},
            dir.file("out"), dir.file("err"));
    }
    std::string Log() { return ReadAll(data + "/Pelkor.txt"); }
};

TEST_F(ServiceTest, WithoutStartNothingIsReadAndItSaysSoOnce) {
    auto p = Pelkor({"--headless", "--seconds", "3"});
    ASSERT_TRUE(p->Wait(20));
    EXPECT_EQ(p->Status(), 0);
    const std::string notice = "nothing will be read until started";
    EXPECT_EQ(Count(ReadAll(dir.file("err")), notice), 1u) << ReadAll(dir.file("err"));
    EXPECT_EQ(Count(Log(), notice), 1u) << Log();
    EXPECT_FALSE(std::filesystem::exists(data + "/plant.csv"));
}

TEST_F(ServiceTest, StartReadsIntoTheDataFolderAndSigtermClosesInOrder) {
    auto p = Pelkor({"--headless", "--start"});
    ASSERT_TRUE(WaitFor([&] { return Lines(ReadAll(data + "/plant.csv")).size() >= 2; }, 15))
        << Log();
    p->Signal(SIGTERM);
    ASSERT_TRUE(p->Wait(10));
    EXPECT_EQ(p->Status(), 0) << ReadAll(dir.file("err"));
    const std::string log = Log();
    EXPECT_EQ(Count(ReadAll(dir.file("err")), "nothing will be read"), 0u);
    EXPECT_NE(ReadAll(data + "/plant.csv").find(";77"), std::string::npos);
    const auto closed = log.find("PCD connection closed.");
    ASSERT_NE(closed, std::string::npos) << log;
    EXPECT_GT(log.find("Stop the application."), closed);
}

// A start file that is missing or cannot be read ends an unattended run with
// status 2 (the unit does not restart it) instead of running on with defaults.
TEST_F(ServiceTest, MissingOrBadStartFileEndsWithStatusTwo) {
    const std::string bad =
        "[Pelkor]\r\nSingleShot=1\r\nHidden=1\r\nLocked=1\r\n[Connection]\r\nPort=/dev/ttyUSB7\r\n";
    WriteAll(dir.file("bad.pelk"), bad);
    for (const std::string& file : {dir.file("gone.pelk"), dir.file("bad.pelk")}) {
        Child p(BinDir() + "/pelkor", {"--headless", "--start", "--verbose", file, "PG5=20"},
                {{"PELSBUS_COM1", sim.SlavePath()}, {"XDG_DATA_HOME", dir.file("xdg")}},
                dir.file("out"), dir.file("err"));
        ASSERT_TRUE(p.Wait(15)) << file << " kept running";
        EXPECT_EQ(p.Status(), 2) << ReadAll(dir.file("err"));
    }
    EXPECT_EQ(ReadAll(dir.file("bad.pelk")), bad);
    EXPECT_FALSE(std::filesystem::exists(data + "/Default.pelk"));
    EXPECT_NE(ReadAll(dir.file("err")).find("Bad file !"), std::string::npos)
        << ReadAll(dir.file("err"));
    EXPECT_NE(ReadAll(dir.file("out")).find("Start file left as it was: " + dir.file("bad.pelk")),
              std::string::npos);
}

} // namespace
} // namespace pelkor::e2e

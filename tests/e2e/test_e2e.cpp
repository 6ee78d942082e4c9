// The real pelkor program against the simulator on a pseudo-terminal and
// over UDP: the files it writes line by line, its event log, its exit status
// and its DDE service.

#include <gtest/gtest.h>

#include <regex>

#include "e2e/E2eSupport.h"
#include "sim/PcdSim.h"
#include "support/TempDir.h"

namespace pelkor::e2e {
namespace {

const std::regex Stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");

class E2eTest : public ::testing::Test {
protected:
    TempDir dir;
    pcdsim::Simulator sim;

    virtual bool Udp() const { return false; }
    bool StartSim() { return Udp() ? sim.StartUdp() : sim.Start(); }
    // A start file from tests/e2e or examples/, with `from` replaced by the
    // test's folder; over UDP its channel is the simulator's address.
    std::string StartFile(const std::string& source, const std::string& from = "{DIR}") {
        std::string text = Replace(ReadAll(SourceDir() + "/" + source), from, dir.path());
        if (Udp()) {
            if (!sim.Running()) {
                EXPECT_TRUE(StartSim()) << sim.LastError();
            }
            text = Replace(text, "[Connection]", "[Connection]\nPort=" + sim.SlavePath());
        }
        const std::string path = dir.file(source.substr(source.rfind('/') + 1));
        std::filesystem::create_directories(dir.file("log"));
        WriteAll(path, text);
        return path;
    }
    std::map<std::string, std::string> Env() {
        // Empty display variables: these runs are headless on any machine.
        return {{"PELSBUS_COM1", sim.SlavePath()},
                {"LC_ALL", "C"},
                {"DISPLAY", ""},
                {"WAYLAND_DISPLAY", ""},
                {"QT_QPA_PLATFORM", ""},
                {"PELKOR_DDE_SOCKET", dir.file("dde.sock")},
                {"XDG_DATA_HOME", dir.file("xdg")}};
    }
    // Runs pelkor to its end (at most `limit` seconds); returns its status.
    int RunPelkor(const std::vector<std::string>& args, double limit = 25) {
        if (!sim.Running()) {
            EXPECT_TRUE(StartSim()) << sim.LastError();
        }
        Child p(BinDir() + "/pelkor", args, Env(), dir.file("pelkor.out"), dir.file("pelkor.err"));
        EXPECT_TRUE(p.Started());
        EXPECT_TRUE(p.Wait(limit)) << "pelkor did not end in time";
        return p.Status();
    }
    std::string Log(const std::string& folder = "log") {
        return ReadAll(dir.path() + "/" + folder + "/Pelkor.txt");
    }
    std::string Err() { return ReadAll(dir.file("pelkor.err")); }
};

// Everything a user sees is the same over the serial line and over UDP.
class Transports : public E2eTest, public ::testing::WithParamInterface<bool> {
protected:
    bool Udp() const override { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Pelkor, Transports, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Udp" : "Pty"; });

TEST_P(Transports, HiddenSingleShotWritesEveryLineAndEndsWithStatusZero) {
    auto& s1 = sim.AddStation(1);
    for (int r = 0; r < 3; ++r)
        s1.SetRegister(r, 100 + r);
    s1.SetRegister(1, -7);
    s1.SetFlag(1, true);
    s1.SetFlag(3, true);
    auto& s2 = sim.AddStation(2);
    s2.SetRegister(10, 250000);
    s2.SetRegister(11, 42);
    s2.SetInput(9, true);
    const std::string start = StartFile("tests/e2e/clean-shot.pelk");

    EXPECT_EQ(RunPelkor({start, "PG5=20"}), 0) << Err();

    const auto one = Lines(ReadAll(dir.file("out/Station1.csv")));
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[0], "No.;Time;Missing;Task;Reg 0;Reg 1;Reg 2;Flag 0;Flag 1;Flag 2;Flag 3");
    const auto f = Fields(one[1]);
    ASSERT_EQ(f.size(), 11u) << one[1];
    EXPECT_EQ(f[0], "1");
    EXPECT_TRUE(std::regex_match(f[1], Stamp)) << f[1];
    EXPECT_EQ(one[1].substr(one[1].find(';', 3)), ";0;Task 1;100;-7;102;0;1;0;1");

    // Task 2: its own station, a month suffix, values only.
    std::string monthFile;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("out")))
        if (e.path().filename().string().rfind("Station2_M", 0) == 0) monthFile = e.path().string();
    ASSERT_FALSE(monthFile.empty());
    EXPECT_TRUE(std::regex_match(monthFile, std::regex(R"(.*/Station2_M\d{4}\.csv)"))) << monthFile;
    EXPECT_EQ(ReadAll(monthFile), "250000;42;0;1;0\r\n");

    const std::string log = Log();
    EXPECT_NE(log.find("Single shot with start file -> " + start), std::string::npos) << log;
    EXPECT_NE(log.find("Application Hidden = 1"), std::string::npos);
    EXPECT_NE(log.find("Task 1 - Data have been read and saved in the file : " +
                       dir.file("out/Station1.csv")),
              std::string::npos);
    EXPECT_NE(log.find("Task 2 - Data have been read and saved in the file : " + monthFile),
              std::string::npos);
    EXPECT_NE(log.find("Stop the application."), std::string::npos);
    EXPECT_EQ(log.find("Err "), std::string::npos) << log;
}

TEST_P(Transports, ClockInATaskIsTheSimulatorsClockThroughTheBuiltInLibrary) {
    auto& s1 = sim.AddStation(1);
    s1.SetRegister(0, 7);
    s1.SetClock(2024, 2, 29, 23, 59, 58, true);
    const std::string start = StartFile("tests/e2e/clock-shot.pelk");
    EXPECT_EQ(RunPelkor({start, "PG5=20"}), 0) << Err();
    const auto lines = Lines(ReadAll(dir.file("out/Clock.csv")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Missing;Reg 0;PCD clock");
    EXPECT_EQ(lines[1], "0;7;2024-02-29 23:59:58");
    EXPECT_EQ(Log().find("Err "), std::string::npos) << Log();
}

TEST_P(Transports, SingleShotWithAnUnreachableStationReportsTheFailedPacketAndFails) {
    sim.AddStation(1); // station 2 never answers
    const std::string start = StartFile("tests/e2e/clean-shot.pelk");
    EXPECT_EQ(RunPelkor({start, "PG5=20"}), 1);
    const std::string log = Log();
    // Over UDP the connect names the IP channel's address, as for a socket channel.
    const std::string where = Udp() ? sim.SlavePath().substr(4) : "station 2";
    EXPECT_NE(log.find("Task 2 - Connection with PCD " + where + " failed !"), std::string::npos)
        << log;
    // Task 2 could not be read at all; task 1 is complete.
    EXPECT_EQ(Lines(ReadAll(dir.file("out/Station1.csv"))).size(), 2u);
    EXPECT_NE(Err().find("Pelkor Single Shot failed !"), std::string::npos) << Err();
    EXPECT_NE(log.find("Pelkor Single Shot failed !"), std::string::npos)
        << "the box reaches the log too";
}

TEST_F(E2eTest, ExampleSingleShotReadsEveryValueWithTheBuiltInLibrary) {
    auto& s1 = sim.AddStation(1);
    for (int r = 0; r < 10; ++r)
        s1.SetRegister(100 + r, 1000 * (r + 1));
    auto& s2 = sim.AddStation(2);
    s2.SetFlag(15, true);
    // As shipped: log and output files in the data folder.
    const std::string start = StartFile("examples/single-shot.pelk"), data = dir.file("xdg/pelkor");

    EXPECT_EQ(RunPelkor({start, "PG5=20"}), 0) << Err();
    const std::string log = ReadAll(data + "/Pelkor.txt");
    EXPECT_EQ(log.find("Err "), std::string::npos) << log;
    EXPECT_NE(log.find("Stop the application."), std::string::npos);

    std::string meters, states;
    for (const auto& e : std::filesystem::directory_iterator(data)) {
        if (e.path().extension() == ".csv") meters = e.path().string();
        if (e.path().extension() == ".xls") states = e.path().string();
    }
    ASSERT_FALSE(states.empty()) << "task 2's workbook";
    EXPECT_GT(std::filesystem::file_size(states), 0u);
    const auto lines = Lines(ReadAll(meters));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(
        lines[0],
        "No.;Read at;Missing;Meter 1;Meter 2;Meter 3;Meter 4;Meter 5;Meter 6;Meter 7;Meter 8;Meter "
        "9;Meter 10");
    const auto f = Fields(lines[1]);
    ASSERT_EQ(f.size(), 13u);
    EXPECT_EQ(f[2], "0");
    EXPECT_EQ(f[3], "1000");
    EXPECT_EQ(f[12], "10000");
}

// An installer's Command.txt names the job and no argument is given: the
// hidden single shot must not reach for a display (here an unreachable one).
TEST_F(E2eTest, HiddenSingleShotFromCommandFileRunsWithoutTheDisplay) {
    sim.AddStation(1).SetRegister(0, 42);
    sim.AddStation(2);
    ASSERT_TRUE(sim.Start()) << sim.LastError();
    const std::string start = StartFile("tests/e2e/clean-shot.pelk");
    std::filesystem::create_directories(dir.file("xdg/pelkor"));
    WriteAll(dir.file("xdg/pelkor/Command.txt"), "[Pelkor]\r\nCommand=" + start + " PG5=20\r\n");
    auto env = Env();
    env["DISPLAY"] = ":7191";
    Child p(BinDir() + "/pelkor", {}, env, dir.file("pelkor.out"), dir.file("pelkor.err"));
    ASSERT_TRUE(p.Wait(25)) << Err();
    EXPECT_EQ(p.Status(), 0) << Err();
    EXPECT_NE(Err().find("Command Line from text file = " + start), std::string::npos) << Err();
    EXPECT_NE(ReadAll(dir.file("out/Station1.csv")).find(";42"), std::string::npos) << Log();
}

TEST_F(E2eTest, HelpAndTheHelpPageShowPg5AsRequired) {
    EXPECT_EQ(RunPelkor({"--help"}), 0);
    EXPECT_NE(ReadAll(dir.file("pelkor.out")).find("<start file>.pelk PG5=nn\n"),
              std::string::npos);
    for (const std::string& text :
         {ReadAll(dir.file("pelkor.out")), ReadAll(SourceDir() + "/data/Pelkor.html")})
        EXPECT_EQ(text.find("[PG5=nn]"), std::string::npos) << text;
}

// Every shipped example against the demo stations (and the plant's 10 and
// 12), to the exit status its comment documents, without an error logged.
TEST_F(E2eTest, EveryExampleRunsToItsDocumentedExitStatus) {
    std::string error;
    ASSERT_TRUE(sim.LoadConfig(SourceDir() + "/examples/demo-sim.conf", error)) << error;
    sim.AddStation(10);
    sim.AddStation(12);
    int examples = 0;
    for (const auto& e : std::filesystem::directory_iterator(SourceDir() + "/examples")) {
        if (e.path().extension() != ".pelk") continue;
        ++examples;
        const std::string name = e.path().stem().string(), own = dir.file(name);
        std::string text = ReadAll(e.path().string());
        text = Replace(text, "/tmp/pelkor-demo", own);
        // Without a LogFolder the log is the data folder's, fresh for each example.
        const std::string logFile =
            (text.find("LogFolder=") == std::string::npos ? dir.file("xdg/pelkor") : own) +
            "/Pelkor.txt";
        std::filesystem::remove(logFile);
        std::filesystem::create_directories(own);
        WriteAll(own + ".pelk", text);
        const std::size_t at = text.find("Exit status: ");
        ASSERT_NE(at, std::string::npos) << name << " documents no exit status";
        const int documented = std::stoi(text.substr(at + 13));
        std::vector<std::string> args{own + ".pelk", "PG5=20"};
        if (text.find("SingleShot=1") == std::string::npos)
            args.insert(args.begin(), {"--seconds", "6"});
        EXPECT_EQ(RunPelkor(args), documented) << name << "\n" << Err();
        const std::string log = ReadAll(logFile);
        EXPECT_NE(log.find("Stop the application."), std::string::npos) << name << "\n" << log;
        EXPECT_EQ(log.find("Err "), std::string::npos) << name << "\n" << log;
    }
    EXPECT_EQ(examples, 5);
}

TEST_P(Transports, StationThatStopsAnsweringIsLoggedOnceLeavesEmptyFieldsAndComesBack) {
    auto& s1 = sim.AddStation(1);
    s1.SetRegister(0, 11);
    s1.SetRegister(1, 12);
    auto& s2 = sim.AddStation(2);
    s2.SetRegister(10, 21);
    s2.SetRegister(11, 22);
    // Station 2 answers its first six requests (three readings), then is
    // silent for twelve requests (each failing station access costs four:
    // the request and three retries), then answers again.
    s2.InjectFault(pcdsim::Fault::Silence().After(6).Times(12));
    const std::string start = StartFile("tests/e2e/outage.pelk");

    EXPECT_EQ(RunPelkor({"--seconds", "9", start, "PG5=20"}), 0) << Err();

    const auto lines = Lines(ReadAll(dir.file("out/outage.csv")));
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], "Time;Missing;One 0;One 1;Two 0;Two 1");
    int full = 0, empty = 0;
    bool emptyBeforeFull = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto f = Fields(lines[i]);
        ASSERT_EQ(f.size(), 6u) << "columns stay aligned: " << lines[i];
        EXPECT_TRUE(std::regex_match(f[0], Stamp)) << lines[i];
        EXPECT_EQ(f[2] + ";" + f[3], "11;12");
        if (f[1] == "0") {
            EXPECT_EQ(f[4] + ";" + f[5], "21;22");
            ++full;
            if (empty > 0) emptyBeforeFull = true;
        } else {
            EXPECT_EQ(lines[i].substr(lines[i].find(';')), ";2;11;12;;");
            ++empty;
        }
    }
    EXPECT_GE(empty, 1);
    EXPECT_TRUE(emptyBeforeFull) << "station 2 came back";

    const std::string log = Log();
    EXPECT_EQ(Count(log, "Task 1 - Connection with PCD station 2 failed !"), 1u) << log;
    EXPECT_EQ(Count(log, "Task 1 - Connection with PCD station 2 restored."), 1u) << log;
    EXPECT_LT(log.find("failed !"), log.find("restored."));
}

// The simulator killed and started again on the same link (a pty path, or
// the same UDP port): the records carry values again, and the log says what
// happened in between, every failure with its reason.
TEST_P(Transports, ALineThatGoesAwayAndComesBackIsReopenedByItself) {
    auto& s1 = sim.AddStation(1);
    s1.SetRegister(0, 11);
    s1.SetRegister(1, 12);
    const std::string link = dir.file("com1");
    ASSERT_TRUE(Udp() ? sim.StartUdp() : sim.Start(link)) << sim.LastError();
    const int udpPort = sim.UdpPort();
    const std::string start = StartFile("tests/e2e/pulled.pelk");
    auto env = Env();
    if (!Udp()) env["PELSBUS_COM1"] = link;
    Child pelkor(BinDir() + "/pelkor", {"--seconds", "16", start, "PG5=20"}, env,
                 dir.file("pelkor.out"), dir.file("pelkor.err"));
    const std::string out = dir.file("out/pulled.csv");
    ASSERT_TRUE(WaitFor([&] { return Lines(ReadAll(out)).size() >= 3; }, 8)) << Log();
    sim.Stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    ASSERT_TRUE(Udp() ? sim.StartUdp("127.0.0.1", udpPort) : sim.Start(link)) << sim.LastError();
    ASSERT_TRUE(pelkor.Wait(25));
    EXPECT_EQ(pelkor.Status(), 0) << Err();

    const auto lines = Lines(ReadAll(out));
    int empty = 0, fullAfterEmpty = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string rest = lines[i].substr(lines[i].find(';'));
        if (rest == ";0;11;12") {
            if (empty > 0) ++fullAfterEmpty;
        } else {
            EXPECT_EQ(rest, ";2;;") << lines[i];
            ++empty;
        }
    }
    EXPECT_GE(empty, 1) << ReadAll(out);
    EXPECT_GE(fullAfterEmpty, 3) << "values again after the line came back\n"
                                 << ReadAll(out) << Log();
    const std::string log = Log();
    EXPECT_EQ(Count(log, "failed : \r\n"), 0u) << "every failed read names its reason\n" << log;
    std::size_t back = std::string::npos;
    for (const char* word : {"restored.", "established."})
        if (const std::size_t p = log.rfind(word);
            p != std::string::npos && (back == std::string::npos || p > back))
            back = p;
    ASSERT_NE(back, std::string::npos) << log;
    EXPECT_LT(log.find("failed"), back) << log;
}

TEST_F(E2eTest, ReadingSlowerThanItsPeriodIsOutDatedAndReplanned) {
    auto& s1 = sim.AddStation(1);
    for (int r = 0; r < 16; ++r)
        s1.SetRegister(r, r);
    // Every request answered 60 ms late: sixteen entries, two requests each.
    s1.InjectFault(pcdsim::Fault::Delay(60));
    const std::string start = StartFile("tests/e2e/slow.pelk");

    EXPECT_EQ(RunPelkor({"--seconds", "9", start, "PG5=20"}), 0) << Err();

    const std::string log = Log();
    EXPECT_GE(Count(log, "aborted: reading time out-dated !"), 1u) << log;
    const auto lines = Lines(ReadAll(dir.file("out/slow.csv")));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_LE(lines.size(), 6u) << "missed periods are not caught up";
    std::string previous;
    for (const auto& line : lines) {
        const auto f = Fields(line);
        ASSERT_EQ(f.size(), 17u) << line;
        EXPECT_EQ(line.substr(line.find(';')), ";0;1;2;3;4;5;6;7;8;9;10;11;12;13;14;15");
        // Planned times: whole seconds, each reading once.
        EXPECT_TRUE(std::regex_match(f[0], Stamp)) << f[0];
        EXPECT_GT(f[0], previous);
        previous = f[0];
    }
}

TEST_P(Transports, DdeClientReadsItemZeroAndFollowsAnAdviseLinkDuringARun) {
    auto& s1 = sim.AddStation(1);
    s1.SetRegister(0, 12);
    s1.SetRegister(1, 34);
    s1.SetGenerator(pcdsim::Resource::Register, 2, pcdsim::Generator::Counter(56, 1));
    ASSERT_TRUE(sim.Running() || StartSim()) << sim.LastError();
    const std::string start = StartFile("tests/e2e/dde.pelk");
    Child pelkor(BinDir() + "/pelkor", {"--seconds", "12", start, "PG5=20"}, Env(),
                 dir.file("pelkor.out"), dir.file("pelkor.err"));
    ASSERT_TRUE(pelkor.Started());

    auto pkdde = [&](const std::vector<std::string>& args, const std::string& out) {
        Child c(BinDir() + "/pkdde", args, Env(), dir.file(out), dir.file(out + ".err"));
        EXPECT_TRUE(c.Wait(10));
        return c.Status();
    };
    // Item 0 has no value until the first reading.
    ASSERT_TRUE(WaitFor(
        [&] {
            return pkdde({"request", "0"}, "req.out") == 0;
        },
        8))
        << ReadAll(dir.file("req.out.err")) << Log();
    EXPECT_EQ(ReadAll(dir.file("req.out")), "12\n");
    EXPECT_EQ(pkdde({"request", "1"}, "req1.out"), 0);
    EXPECT_EQ(ReadAll(dir.file("req1.out")), "34\n");
    EXPECT_EQ(pkdde({"request", "3"}, "req3.out"), 1) << "beyond the task's three values";

    EXPECT_EQ(pkdde({"advise", "2", "--count", "2", "--seconds", "6"}, "adv.out"), 0)
        << ReadAll(dir.file("adv.out.err"));
    const auto values = Lines(Replace(ReadAll(dir.file("adv.out")), "\n", "\r\n"));
    ASSERT_EQ(values.size(), 2u);
    EXPECT_LT(std::stol(values[0]), std::stol(values[1])) << "each push carries the new reading";

    ASSERT_TRUE(pelkor.Wait(20));
    EXPECT_EQ(pelkor.Status(), 0) << ReadAll(dir.file("pelkor.err"));
    const std::string log = Log();
    EXPECT_NE(log.find("Start the DDE Server."), std::string::npos);
    EXPECT_LT(log.find("Stop the DDE Server."), log.find("Stop the application."));
}

TEST_P(Transports, SignalEndsAContinuousRunInOrder) {
    sim.AddStation(1);
    ASSERT_TRUE(sim.Running() || StartSim()) << sim.LastError();
    const std::string start = StartFile("tests/e2e/dde.pelk");
    Child pelkor(BinDir() + "/pelkor", {start, "PG5=20"}, Env(), dir.file("pelkor.out"),
                 dir.file("pelkor.err"));
    ASSERT_TRUE(
        WaitFor([&] { return Log().find("Start the DDE Server.") != std::string::npos; }, 8));
    pelkor.Signal(SIGTERM);
    ASSERT_TRUE(pelkor.Wait(10));
    EXPECT_EQ(pelkor.Status(), 0);
    const std::string log = Log();
    EXPECT_NE(log.find("PCD connection closed."), std::string::npos) << log;
    EXPECT_NE(log.find("Stop the application."), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("dde.sock")));
}

TEST_F(E2eTest, TwoTasksReadTwoPcdsAtTheirOwnAddresses) {
    pcdsim::Simulator other;
    sim.AddStation(1).SetRegister(0, 111);
    other.AddStation(1).SetRegister(0, 222);
    ASSERT_TRUE(sim.StartUdp() && other.StartUdp()) << sim.LastError() << other.LastError();
    std::string start = StartFile("tests/e2e/two-pcds.pelk");
    WriteAll(start, Replace(Replace(ReadAll(start), "{PORT_A}", std::to_string(sim.UdpPort())),
                            "{PORT_B}", std::to_string(other.UdpPort())));

    EXPECT_EQ(RunPelkor({"--seconds", "4", start, "PG5=20"}), 0) << Err();

    const auto a = Lines(ReadAll(dir.file("out/a.csv"))), b = Lines(ReadAll(dir.file("out/b.csv")));
    ASSERT_GE(a.size(), 3u);
    ASSERT_GE(b.size(), 3u) << "task 2 read more than once while connected";
    for (std::size_t i = 1; i < a.size(); ++i)
        EXPECT_EQ(a[i], "0;111;0") << i;
    for (std::size_t i = 1; i < b.size(); ++i)
        EXPECT_EQ(b[i], "0;222;0") << i;
    const std::string log = Log();
    EXPECT_NE(log.find("Task 1 - Connection with PCD 127.0.0.1:" + std::to_string(sim.UdpPort()) +
                       " station 1 established."),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("failed"), std::string::npos) << log;
}

TEST_F(E2eTest, MissingStartFileAndBadOptionsEndWithAnError) {
    EXPECT_EQ(RunPelkor({"--seconds"}), 2);
    EXPECT_NE(Err().find("--seconds needs a value"), std::string::npos) << Err();
    EXPECT_EQ(RunPelkor({"--frobnicate", "x.pelk"}), 2);
    EXPECT_EQ(RunPelkor({}), 2);
}

TEST_F(E2eTest, ARunWithoutADisplaySaysSoOnceAndRunsWithoutWindows) {
    sim.AddStation(1);
    const std::string start = StartFile("tests/e2e/slow.pelk");
    EXPECT_EQ(RunPelkor({"--seconds", "1", start, "PG5=20"}), 0) << Err();
    EXPECT_EQ(Count(Err(), "no display"), 1u) << Err();
    EXPECT_EQ(RunPelkor({"--headless", "--seconds", "1", start, "PG5=20"}), 0) << Err();
    EXPECT_EQ(Count(Err(), "no display"), 0u) << Err();
}

TEST_F(E2eTest, AWindowedRunEndsOnSigtermWhateverTheShutdownKey) {
    sim.AddStation(1);
    ASSERT_TRUE(sim.Start()) << sim.LastError();
    const std::string start = StartFile("tests/e2e/slow.pelk");
    WriteAll(start, Replace(ReadAll(start), "Task=1\n", "Task=1\nShutdown=1\n"));
    auto env = Env();
    env["QT_QPA_PLATFORM"] = "offscreen";
    Child p(BinDir() + "/pelkor", {start, "PG5=20"}, env, dir.file("pelkor.out"),
            dir.file("pelkor.err"));
    ASSERT_TRUE(WaitFor([&] { return Log().find("established.") != std::string::npos; }, 15))
        << Log() << Err();
    p.Signal(SIGTERM);
    ASSERT_TRUE(p.Wait(15));
    EXPECT_EQ(p.Status(), 0) << Err();
    EXPECT_EQ(Err().find("no display"), std::string::npos);
    EXPECT_NE(Log().find("Stop the application."), std::string::npos) << Log();
}

} // namespace
} // namespace pelkor::e2e

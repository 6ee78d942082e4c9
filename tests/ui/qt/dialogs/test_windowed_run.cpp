// The windowed program end to end, in this process through the entry the
// pelkor program calls: Start through the cmdConnect button against the
// simulator, records in the CSV file, Stop, and the end through E&xit.
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "sim/PcdSim.h"
#include "ui/qt/QtTestSupport.h"
#include "ui/qt/RunWindowed.h"
#include "ui/qt/dialogs/MainWindow.h"

namespace pelkor {
namespace {

TEST(WindowedRun, StartReadStopAndExitAgainstTheSimulator) {
    TempDir dir;
    pcdsim::Simulator sim;
    auto& st = sim.AddStation(1);
    for (int r = 0; r < 3; ++r)
        st.SetRegister(r, 10 + r);
    ASSERT_TRUE(sim.Start()) << sim.LastError();
    setenv("PELSBUS_COM1", sim.SlavePath().c_str(), 1);
    const std::string start = dir.file("job.pelk");
    std::ofstream(start, std::ios::binary)
        << "[Pelkor]\nVersion=3\nLogFolder=" << dir.path() << "\nLogUsed=1\nReadWindow=1\nTask=1\n"
        << "[Connection]\nAutoConnect=0\nStation=1\nDLL=0\n[Task1]\nSettings=1\nIntervalUnit="
           "0\nReadInterval=1\n"
        << "Data=R 0 [3]\nTimeStamp=0,\nOutFolder=" << dir.path()
        << "\nFileName=values\nFileIndex=0\nFileType=CSV\n";

    ScriptedUserInterface script;
    WindowedRun run;
    run.Words = {start, "PG5=20"};
    run.ProgramFolder = PELKOR_BINARY_DIR "/bin";
    run.Messages = &script;
    QString connectedCaption, afterStop;
    int rounds = 0;
    run.OnShown = [&](PelkorApp&, MainWindow& w) {
        auto* step = new QTimer(&w);
        QObject::connect(step, &QTimer::timeout, [&, step] {
            ++rounds;
            auto* frame = w.findChild<QGroupBox*>("frmConnection");
            auto* button = w.findChild<QPushButton*>("cmdConnect");
            if (rounds == 1) {
                button->click(); // Start
            } else if (connectedCaption.isEmpty() && frame->title().startsWith("PCD Connected")) {
                connectedCaption = frame->title();
            } else if (!connectedCaption.isEmpty() && afterStop.isEmpty() &&
                       ReadAll(dir.file("values.csv")).find("10;11;12\r\n10;11;12") !=
                           std::string::npos) {
                button->click(); // Stop
                afterStop = button->text();
                w.findChild<QAction*>("m_exit")->trigger();
            } else if (rounds > 150) {
                w.SystemClose(); // bounded: the test fails below instead of hanging
            }
        });
        step->start(100);
    };
    const int status = RunWindowed(run);
    unsetenv("PELSBUS_COM1");

    EXPECT_EQ(status, 0);
    EXPECT_EQ(connectedCaption, "PCD Connected");
    EXPECT_EQ(afterStop, "Start");
    EXPECT_NE(ReadAll(dir.file("values.csv")).find("10;11;12\r\n"), std::string::npos);
    const std::string log = ReadAll(dir.file("Pelkor.txt"));
    const auto closed = log.find("PCD connection closed.");
    ASSERT_NE(closed, std::string::npos) << log;
    EXPECT_NE(log.find("Stop the application.", closed), std::string::npos) << log;
}

// A logout while the settings window has an unsaved edit: the window goes as
// Cancel would (nothing saved, one line in the log), then the program ends in order.
TEST(WindowedRun, SigtermWithTheSettingsWindowOpenDiscardsItAndEnds) {
    TempDir dir;
    const std::string start = dir.file("job.pelk");
    const std::string text = "[Pelkor]\nVersion=3\nLogFolder=" + dir.path() +
                             "\nLogUsed=1\nTask=1\n[Connection]\nAutoConnect=0\nStation=1\nDLL=0\n["
                             "Task1]\nSettings=1\nData=R 0\n";
    std::ofstream(start, std::ios::binary) << text;
    ScriptedUserInterface script;
    std::atomic<bool> stop{false};
    WindowedRun run;
    run.Words = {start, "PG5=20"};
    run.ProgramFolder = PELKOR_BINARY_DIR "/bin";
    run.Messages = &script;
    run.Stop = &stop;
    bool sawSettings = false;
    run.OnShown = [&](PelkorApp&, MainWindow& w) {
        QTimer::singleShot(0, &w, [&w] { w.findChild<QAction*>("m_settings")->trigger(); });
        QTimer::singleShot(300, &w, [&] {
            auto* settings = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            sawSettings = settings && settings->objectName() == "frmSetting";
            if (sawSettings) settings->findChild<QCheckBox*>("ckbAutoconnect")->toggle();
            stop = true;
        });
    };
    EXPECT_EQ(RunWindowed(run), 0);
    EXPECT_TRUE(sawSettings);
    EXPECT_EQ(ReadAll(start), text) << "the edit was not saved";
    const std::string log = ReadAll(dir.file("Pelkor.txt"));
    const auto discarded = log.find("unsaved changes were discarded");
    ASSERT_NE(discarded, std::string::npos) << log;
    EXPECT_NE(log.find("Stop the application.", discarded), std::string::npos) << log;
    for (const auto& m : script.Messages())
        EXPECT_EQ(m.Text.find("save"), std::string::npos) << m.Text;
}

// Started without a job from a menu and the session ends: the start info
// (and the About window over it) go, the program ends with 0.
TEST(WindowedRun, SigtermWithTheStartInfoAndAboutOpenEnds) {
    TempDir dir;
    ScriptedUserInterface script;
    std::atomic<bool> stop{false};
    WindowedRun run;
    run.ProgramFolder = PELKOR_BINARY_DIR "/bin";
    run.UserDataFolder = dir.path();
    run.Messages = &script;
    run.Stop = &stop;
    QString seen;
    QTimer::singleShot(200, [&] {
        if (QWidget* info = QApplication::activeModalWidget()) {
            seen = info->objectName();
            if (auto* ok = info->findChild<QPushButton*>("cmdOK"))
                QTimer::singleShot(0, ok, &QPushButton::click);
        }
        QTimer::singleShot(300, [&] { stop = true; });
    });
    EXPECT_EQ(RunWindowed(run), 0);
    EXPECT_EQ(seen, "frmInfo");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
} // namespace pelkor

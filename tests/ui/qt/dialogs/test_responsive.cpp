// A reading's library calls run on the I/O thread: the window goes on
// handling events, and Stop or a close during a reading waits for the call
// on the line instead of running beside it.
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "pcd/FakePelsbus.h"
#include "ui/qt/MainWindowTestApp.h"
#include "ui/qt/QtTestSupport.h"

namespace pelkor {
namespace {

struct SlowLine {
    test::FakePelsbus fake;
    std::atomic<bool> busy{false}, overlap{false};
    std::atomic<int> ticksDuringRead{0};
    SlowLine() {
        fake.stations[1] = test::FakeStation{};
        fake.onCall = [this](const std::string& call) {
            if (busy.exchange(true)) overlap = true;
            if (call.rfind("ReadRegister", 0) == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            busy = false;
        };
    }
};

// Runs the first due reading through the window's timer; `during` runs
// 100 ms into its first register read.
void ReadWith(MainWindowTestApp& t, SlowLine& line, const std::function<void()>& during) {
    const std::string start = t.StartFile("", {"R 0 [4], R 10 [4], R 20 [4]"}, "None", true);
    ASSERT_TRUE(t.Load(start));
    ASSERT_EQ(t.app.App().Status.Connected, 1);
    t.window.show();
    QTimer probe; // counts event-loop turns while the line is busy
    QObject::connect(&probe, &QTimer::timeout, [&] { line.ticksDuringRead += line.busy ? 1 : 0; });
    probe.start(10);
    t.clock.Set(t.app.App().Tasks[1].NextRead);
    QTimer::singleShot(100 + 250, during);
    for (int i = 0; i < 300 && t.app.App().Status.WriteCounter == 0 && !t.window.Ended(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TEST(MainWindow, StopDuringAReadingWaitsForTheCallOnTheLineAndEndsTheReading) {
    SlowLine line;
    MainWindowTestApp t(&line.fake);
    bool disabledAtOnce = false;
    QString statusAtOnce;
    ReadWith(t, line, [&] {
        // Looked at while the call on the line still runs.
        QTimer::singleShot(30, [&] {
            disabledAtOnce = line.busy && !Control(&t.window, "cmdConnect")->isEnabled() &&
                             !t.window.findChild<QAction*>("m_exit")->isEnabled();
            statusAtOnce = Control<QLabel>(&t.window, "lblTextes")->text();
        });
        Click(&t.window, "cmdConnect");
    });
    EXPECT_TRUE(disabledAtOnce);
    EXPECT_EQ(statusAtOnce, "Stopping after the current exchange ...");
    EXPECT_TRUE(t.window.findChild<QAction*>("m_exit")->isEnabled());
    EXPECT_FALSE(line.overlap);
    EXPECT_GT(line.ticksDuringRead, 5) << "the window stood still during the call";
    EXPECT_EQ(line.fake.Count("ReadRegister"), 1u); // the rest of the reading was dropped
    EXPECT_EQ(t.app.App().Status.Connected, 0);
    EXPECT_EQ(Control<QPushButton>(&t.window, "cmdConnect")->text(), "Start");
    EXPECT_FALSE(t.window.Ended());
}

TEST(MainWindow, CloseDuringAReadingEndsTheProgramOnceTheReadingHasUnwound) {
    SlowLine line;
    MainWindowTestApp t(&line.fake);
    bool visibleAfterClose = false;
    ReadWith(t, line, [&] {
        t.window.close();
        visibleAfterClose = t.window.isVisible();
    });
    EXPECT_FALSE(line.overlap);
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_TRUE(t.window.Ended());
    EXPECT_FALSE(t.window.isVisible());
    const std::string log = t.Log();
    const auto closed = log.find("PCD connection closed.");
    ASSERT_NE(closed, std::string::npos) << log;
    EXPECT_GT(log.find("Stop the application."), closed);
}

} // namespace
} // namespace pelkor

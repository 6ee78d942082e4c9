// frmPelkor: its controls, the start-up it runs, its size with and without
// the reading pane, the "Shutdown" key and the end of a run.
#include <QAccessible>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <thread>

#include "pcd/FakePelsbus.h"
#include "ui/qt/MainWindowTestApp.h"
#include "ui/qt/QtTestSupport.h"

namespace pelkor {
namespace {

QAction* Action(QWidget* w, const char* name) {
    auto* a = w->findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
}

TEST(MainWindow, ControlsCarryTheirNamesCaptionsAndAccessibleNames) {
    MainWindowTestApp t;
    QWidget* w = &t.window;
    EXPECT_EQ(w->objectName(), "frmPelkor");
    EXPECT_EQ(Control<QGroupBox>(w, "frmConnection")->title(), "PCD connection");
    const std::pair<const char*, const char*> framed[] = {
        {"lblTask", "Task"}, {"lblNext", "Next Reading"}, {"lblWrite", "Counter"}};
    for (auto [label, caption] : framed) {
        auto* l = Control<QLabel>(w, label);
        EXPECT_EQ(l->accessibleDescription(), caption);
        EXPECT_EQ(qobject_cast<QGroupBox*>(l->parentWidget())->title(), caption);
    }
    // A screen reader reads what is shown, not a fixed name in its place.
    for (const char* name : {"lblTask", "lblNext", "lblWrite", "lblTextes", "StatusBarPanel1"}) {
        auto* l = Control<QLabel>(w, name);
        l->setText(QString::fromLatin1(name) + " value");
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(l);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(QAccessible::Name), l->text()) << name;
    }
    EXPECT_EQ(Control<QPushButton>(w, "cmdConnect")->text(), "Start");
    for (const char* n : {"pgbRead", "lblTextes", "StatusBar", "txbRead"})
        Control(w, n);
    const std::pair<const char*, const char*> menus[] = {
        {"m_program", "&Program"}, {"m_connect", "&Start"}, {"m_disconnect", "St&op"},
        {"m_exit", "E&xit"},       {"m_edit", "&Edit"},     {"m_settings", "&Settings..."},
        {"m_tasks", "&Tasks..."},  {"m_help", "&Help"},     {"m_contents", "&Contents ..."},
        {"m_about", "&About ..."}};
    for (auto [name, caption] : menus)
        EXPECT_EQ(Action(w, name)->text(), caption) << name;
    EXPECT_FALSE(Action(w, "m_disconnect")->isEnabled());
}

TEST(MainWindow, StartUpWithoutExcelWarnsOnceForTheExcelTaskAndLogsTheLockedStart) {
    MainWindowTestApp t;
    t.app.SetExcelProbe([](AppContext& a) { a.Status.ExcelMissing = 1; });
    const std::string start = t.StartFile("Locked=1\nMinimized=0", {"R 0", "R 1", "R 2"}, "XLS");
    ASSERT_TRUE(t.Load(start));
    int excel = 0;
    for (const ShownMessage& m : t.script.Messages()) {
        excel += m.Text.find("Need Excel application") != std::string::npos;
        if (m.Text.find("Need Excel") != std::string::npos) {
            EXPECT_EQ(
                m.Text,
                "Task 3 Need Excel application !\r\rExcel is not isntalled on this computer !");
            EXPECT_EQ(m.Icon, MsgIcon::Exclamation);
        }
    }
    EXPECT_EQ(excel, 1);
    const std::string log = t.Log();
    const auto locked = log.find("Locked start file -> " + start);
    ASSERT_NE(locked, std::string::npos) << log;
    EXPECT_NE(log.find("Application minimized = 0", locked), std::string::npos);
    EXPECT_EQ(t.window.windowTitle(), "Pelkor Application");
    EXPECT_TRUE(Control<QTimer>(&t.window, "ConnectTimer")->isActive());
    EXPECT_EQ(Control<QTimer>(&t.window, "ConnectTimer")->interval(), 250);
    EXPECT_EQ(Control<QLabel>(&t.window, "lblTask")->text(), "1");
}

TEST(MainWindow, WithoutTheReadingPaneTheWindowIs2895TwipsHigh) {
    MainWindowTestApp t;
    ASSERT_TRUE(t.Load(t.StartFile("ReadWindow=0")));
    t.window.show();
    QApplication::processEvents();
    EXPECT_EQ(t.window.frameGeometry().height(), 2895 / 15);
    EXPECT_FALSE(Control(&t.window, "txbRead")->isVisible());
}

TEST(MainWindow, TheReadingPaneFollowsTheWindowSize) {
    MainWindowTestApp t;
    ASSERT_TRUE(t.Load(t.StartFile("ReadWindow=1")));
    t.window.show();
    QWidget* pane = Control(&t.window, "txbRead");
    const int frame = Control(&t.window, "frmConnection")->width();
    const int border = t.window.frameGeometry().width() - t.window.width();
    // In twips: height - (top + 1200); width: frame - 75 up to frame + 285, else width - 360.
    for (auto [w, h] : {std::pair{frame + 16 - border, 400}, std::pair{frame + 200, 500}}) {
        t.window.resize(w, h);
        QApplication::processEvents();
        const QRect outer = t.window.frameGeometry();
        EXPECT_TRUE(pane->isVisible());
        EXPECT_EQ(pane->height(), (outer.height() * 15 - (pane->y() * 15 + 1200)) / 15);
        const int width =
            outer.width() * 15 <= frame * 15 + 285 ? frame * 15 - 75 : outer.width() * 15 - 360;
        EXPECT_EQ(pane->width(), width / 15) << outer.width();
    }
}

TEST(MainWindow, ShutdownRefusesTheCloseBoxAndExitButNotTheEndOfTheSession) {
    MainWindowTestApp t;
    ASSERT_TRUE(t.Load(t.StartFile("Shutdown=1")));
    t.window.show();
    int ended = -1;
    QObject::connect(&t.window, &MainWindow::ProgramEnded, [&](int s) { ended = s; });
    t.window.close();
    Action(&t.window, "m_exit")->trigger();
    EXPECT_TRUE(t.window.isVisible());
    ASSERT_EQ(t.script.Messages().size(), 2u);
    for (const ShownMessage& m : t.script.Messages()) {
        EXPECT_EQ(m.Text, "Shutdown not allowed.");
        EXPECT_EQ(m.Title, "Pelkor");
        EXPECT_EQ(m.Icon, MsgIcon::Exclamation);
    }
    EXPECT_EQ(t.Log().find("Stop the application."), std::string::npos);
    t.window.SystemClose();
    EXPECT_FALSE(t.window.isVisible());
    EXPECT_EQ(ended, 0);
    EXPECT_NE(t.Log().find("Stop the application."), std::string::npos);
}

TEST(MainWindow, AVisibleSingleShotRunsOnTheFirstTickShowsTheSummaryAndEnds) {
    test::FakePelsbus fake;
    fake.stations[1] = test::FakeStation{};
    MainWindowTestApp t(&fake);
    ASSERT_TRUE(t.Load(t.StartFile("SingleShot=1\nReadWindow=1")));
    t.window.show();
    EXPECT_FALSE(Action(&t.window, "m_program")->isEnabled());
    EXPECT_FALSE(Action(&t.window, "m_edit")->isEnabled());
    EXPECT_EQ(Control<QTimer>(&t.window, "ConnectTimer")->interval(), 1000);
    int ended = -1;
    QObject::connect(&t.window, &MainWindow::ProgramEnded, [&](int s) { ended = s; });
    for (int i = 0; i < 300 && ended < 0; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ended, 0);
    EXPECT_FALSE(t.window.isVisible());
    EXPECT_NE(Control<QPlainTextEdit>(&t.window, "txbRead")
                  ->toPlainText()
                  .indexOf("1 Data Task have been read and saved in file(s)."),
              -1);
}

TEST(MainWindow, AFailedVisibleSingleShotExitsOneAfterTheDetailsWhateverClosesIt) {
    test::FakePelsbus fake; // no station answers
    MainWindowTestApp t(&fake);
    ASSERT_TRUE(t.Load(t.StartFile("SingleShot=1\nReadWindow=1")));
    t.window.show();
    t.script.QueueAnswers(
        {MsgAnswer::Yes, MsgAnswer::Yes, MsgAnswer::Yes}); // "Do you want to see details ?"
    int ended = -1;
    QObject::connect(&t.window, &MainWindow::ProgramEnded, [&](int s) { ended = s; });
    bool asked = false;
    for (int i = 0; i < 300 && !asked; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (const ShownMessage& m : t.script.Messages())
            asked |= m.Text.find("see details") != std::string::npos;
    }
    ASSERT_TRUE(asked);
    EXPECT_EQ(ended, -1) << "the window stays for the details";
    t.window.close();
    EXPECT_EQ(ended, 1);
}

} // namespace
} // namespace pelkor

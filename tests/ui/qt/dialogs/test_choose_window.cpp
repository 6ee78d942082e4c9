// frmChoose through the program's windowed entry (pelkor --choose): New makes
// a job from the template in the data folder and opens it with the task
// editor; a recent file opens; Cancel ends with status 0.
#include <QApplication>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "config/JobFiles.h"
#include "ui/qt/QtTestSupport.h"
#include "ui/qt/RunWindowed.h"
#include "ui/qt/dialogs/ChooseWindow.h"
#include "ui/qt/dialogs/MainWindow.h"
#include "ui/qt/dialogs/TaskEditorWindow.h"

namespace pelkor {
namespace {

struct ChooseRun {
    TempDir dir;
    ScriptedUserInterface script;
    WindowedRun run;
    std::string data = dir.file("data");
    std::string loaded;
    bool editorShown = false;
    ChooseRun() {
        run.Options.Choose = true;
        run.Words = {"PG5=20"};
        run.ProgramFolder = PELKOR_BINARY_DIR "/bin";
        run.UserDataFolder = data;
        run.Messages = &script;
        run.OnShown = [this](PelkorApp& app, MainWindow& w) {
            loaded = app.App().Settings.StartFile;
            editorShown = w.Editor() && w.Editor()->isVisible();
            QTimer::singleShot(0, &w, [&w] { w.SystemClose(); });
        };
    }
    // Does `act` once the chooser is up.
    void OnChooser(std::function<void(ChooseWindow&)> act) {
        run.OnChoose = [act](ChooseWindow& c) { QTimer::singleShot(0, &c, [&c, act] { act(c); }); };
    }
};

TEST(ChooseWindow, NewMakesAJobFromTheTemplateAndOpensTheTaskEditor) {
    ChooseRun t;
    t.OnChooser([](ChooseWindow& c) {
        c.AskName = [] { return QString("plant"); };
        Click(&c, "cmdNew");
    });
    EXPECT_EQ(RunWindowed(t.run), 0);
    const std::string job = t.data + "/plant.pelk";
    EXPECT_EQ(t.loaded, job);
    EXPECT_TRUE(t.editorShown);
    const std::string text = ReadAll(job);
    EXPECT_NE(text.find("Data=R 0 [4]"), std::string::npos) << text;
    EXPECT_NE(text.find("FileName=plant"), std::string::npos) << text;
    EXPECT_EQ(ReadRecentFiles(t.data), std::vector<std::string>{job});

    // The same name again overwrites nothing: a message, and the chooser stays.
    ChooseRun again;
    again.data = t.data;
    again.run.UserDataFolder = t.data;
    again.OnChooser([](ChooseWindow& c) {
        c.AskName = [] { return QString("plant"); };
        Click(&c, "cmdNew");
        Click(&c, "cmdCancel");
    });
    EXPECT_EQ(RunWindowed(again.run), 0);
    ASSERT_EQ(again.script.Messages().size(), 1u);
    EXPECT_NE(again.script.Messages()[0].Text.find("exists already"), std::string::npos);
    EXPECT_EQ(ReadAll(job), text);
}

TEST(ChooseWindow, ARecentFileOpensAndCancelEndsWithStatusZero) {
    ChooseRun t;
    const std::string job = t.dir.file("jobs/line 3.pelk");
    std::filesystem::create_directories(t.dir.file("jobs"));
    std::ofstream(job) << "[Pelkor]\nVersion=3\nTask=0\n[Connection]\nAutoConnect=0\nDLL=0\n";
    std::string error;
    ASSERT_TRUE(RememberRecentFile(t.data, t.dir.file("gone.pelk"), error)) << error;
    ASSERT_TRUE(RememberRecentFile(t.data, job, error)) << error;
    QString listed;
    t.OnChooser([&listed](ChooseWindow& c) {
        auto* list = Control<QListWidget>(&c, "lstRecent");
        listed = list->count() == 1 ? list->item(0)->text() : QString();
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Return);
    });
    EXPECT_EQ(RunWindowed(t.run), 0);
    EXPECT_EQ(listed.toStdString(), job) << "the missing file is not offered";
    EXPECT_EQ(t.loaded, job);
    EXPECT_FALSE(t.editorShown);
    EXPECT_FALSE(QApplication::windowIcon().availableSizes().isEmpty()) << "the shipped icon";

    ChooseRun cancel;
    bool shown = false;
    cancel.run.OnShown = [&shown](PelkorApp&, MainWindow& w) {
        shown = true;
        w.SystemClose();
    };
    cancel.OnChooser([](ChooseWindow& c) { Click(&c, "cmdCancel"); });
    EXPECT_EQ(RunWindowed(cancel.run), 0);
    EXPECT_FALSE(shown);
}

} // namespace
} // namespace pelkor

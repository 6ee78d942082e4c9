// frmInfo and frmAbout: the start-info text and its buttons, the version, the
// web link and the add-on buttons of the installed PG5 versions.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "ui/qt/MainWindowTestApp.h"
#include "ui/qt/QtTestSupport.h"
#include "ui/qt/dialogs/AboutWindow.h"
#include "ui/qt/dialogs/InfoWindow.h"

namespace pelkor {
namespace {

void Write(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// PG5 1.6 (registry) and 2.0 (common application data) installed.
struct TwoPg5 {
    explicit TwoPg5(MainWindowTestApp& t) : dir(t.dir.path()) {
        Write(dir + "/system.reg",
              "WINE REGISTRY Version 2\n\n[Software\\\\SAIA-Burgess\\\\PG5\\\\1.6\\\\Global] 1\n"
              "\"AppsDir\"=\"" +
                  dir + "/pg5_16\"\n");
        Write(dir + "/common/Saia-Burgess/PG5_20/PG5Global.ini",
              "[Global]\nAppsDir=" + dir + "/pg5_20\nLocalDir=" + dir + "/pg5_20/local\n");
        std::filesystem::create_directories(dir + "/pg5_16");
        std::filesystem::create_directories(dir + "/pg5_20/local");
        setenv("PELKOR_REGISTRY", (dir + "/system.reg").c_str(), 1);
        setenv("PELKOR_COMMON_APPDATA", (dir + "/common").c_str(), 1);
        unsetenv("PELKOR_COMMON_DOCUMENTS");
        t.app.Connection().ReadSAIARegistery();
    }
    ~TwoPg5() {
        unsetenv("PELKOR_REGISTRY");
        unsetenv("PELKOR_COMMON_APPDATA");
    }
    std::string dir;
};

TEST(AboutWindow, ButtonsOfPg5TwoAndOneSixInstallTheirOwnTemplates) {
    MainWindowTestApp t;
    TwoPg5 pg5(t);
    Write(t.dir.file("Pelkor.5at"), "[Tool]\r\nProgram=$(apppath)\\Pelkor.exe\r\n");
    Write(t.dir.file("Pelkor52.5at"), "[Tool]\nCommand=$(AppPath)/pelkor $(APPPATH)\n");
    AboutWindow about(t.app);
    EXPECT_EQ(about.objectName(), "frmAbout");
    EXPECT_EQ(about.windowTitle(), "About Pelkor");
    EXPECT_EQ(Control<QLabel>(&about, "lblTitle")->text(), "Pelkor");
    EXPECT_TRUE(Control<QLabel>(&about, "lblVersion")->text().startsWith("Version 0.1.0"));
    auto* b0 = Control<QPushButton>(&about, "cmdPG5_0");
    auto* b1 = Control<QPushButton>(&about, "cmdPG5_1");
    auto* b2 = Control<QPushButton>(&about, "cmdPG5_2");
    EXPECT_EQ(b0->text(), "PG5 2.0");
    EXPECT_EQ(b1->text(), "PG5 1.6");
    EXPECT_TRUE(b0->isEnabled() && b1->isEnabled());
    EXPECT_FALSE(b2->isEnabled());

    b0->click();
    EXPECT_EQ(ReadAll(pg5.dir + "/pg5_20/local/Pelkor52.5at"),
              "[Tool]\r\nCommand=" + t.dir.path() + "/pelkor " + t.dir.path() + "\r\n");
    b1->click();
    EXPECT_EQ(ReadAll(pg5.dir + "/pg5_16/Pelkor.5at"),
              "[Tool]\r\nProgram=" + t.dir.path() + "\\Pelkor.exe\r\n");
    ASSERT_EQ(t.script.Messages().size(), 2u);
    EXPECT_EQ(t.script.Messages()[1].Text,
              "Pelkor will be installed as Add-On Tool on the next PG5 start.");
    EXPECT_EQ(t.script.Messages()[1].Title, "Pelkor as PG5 Add-On Tool");

    auto* www = Control<QLabel>(&about, "lblWWW");
    EXPECT_EQ(www->toolTip(), "Start the default Internet Browser");
    emit www->linkActivated("x");
    ASSERT_EQ(t.opened.size(), 1u);
    EXPECT_EQ(t.opened[0].File, "http://www.pelkor.org");
    EXPECT_EQ(t.opened[0].Verb, "open");
}

TEST(InfoWindow, TextHelpAndTheWayToAbout) {
    MainWindowTestApp t;
    InfoWindow info(t.app);
    EXPECT_EQ(info.windowTitle(), "Pelkor  Start Info");
    const QStringList lines = Control<QPlainTextEdit>(&info, "txbInfo")->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 14);
    EXPECT_EQ(lines[0], "Thank you for using Marvane software.");
    EXPECT_EQ(lines[3], "If you are starting Pelkor for the fisrt time from ");
    EXPECT_EQ(lines[4], "the Windows Start menu, procede as follow:");
    EXPECT_EQ(lines[13], "Read the Help for running the Pelkor without starting PG5.");

    Click(&info, "cmdHelp");
    ASSERT_EQ(t.opened.size(), 1u);
    EXPECT_EQ(t.opened[0].File, t.dir.file("Pelkor.html"));
    EXPECT_EQ(t.opened[0].ShowCommand, 10);

    bool aboutShown = false;
    QTimer::singleShot(0, [&] {
        if (auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            aboutShown = about->objectName() == "frmAbout";
            about->reject();
        }
    });
    info.show();
    Click(&info, "cmdOK");
    EXPECT_TRUE(aboutShown);
    EXPECT_EQ(info.result(), QDialog::Accepted);
}

} // namespace
} // namespace pelkor

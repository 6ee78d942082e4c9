// The settings window and the folder picker, driven by control names with
// scripted answers.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <unistd.h>

#include "config/StartFile.h"
#include "ui/qt/QtTestSupport.h"
#include "ui/qt/dialogs/FolderPicker.h"
#include "ui/qt/dialogs/SettingsWindow.h"

namespace pelkor {
namespace {

namespace fs = std::filesystem;

struct SettingsWindowTest : ::testing::Test {
    WindowTestApp t;
    AppSettings& s = t.app.App().Settings;
    void SetUp() override {
        s.StartMode = 1;
        s.StartFile = t.dir.file("Plant A.pelk");
        s.LogFolder = t.dir.path();
        ASSERT_TRUE(WriteStartFileSettings(t.app.App()));
    }
    std::string Saved(const char* key) { return GetIniString(s.StartFile, "Pelkor", key); }
    void Type(SettingsWindow& w, const char* text) {
        auto* box = Control<QLineEdit>(&w, "txbLogFolder");
        box->selectAll();
        QTest::keyClicks(box, text);
    }
};

TEST_F(SettingsWindowTest, CaptionAndEditingFollowTheStartMode) {
    SettingsWindow w(t.app);
    EXPECT_EQ(w.windowTitle().toStdString(), "Pelkor [" + s.StartFile + "]");
    EXPECT_TRUE(Control(&w, "txbLogFolder")->isEnabled());
    EXPECT_FALSE(Control(&w, "cmdUsePg5")->isEnabled()); // no PG5 version
    s.StartMode = 2;
    s.DLL = 20;
    SettingsWindow locked(t.app);
    EXPECT_EQ(locked.windowTitle(), "Pelkor Locked Parameters File");
    for (const char* name :
         {"fmeLog", "fmeConnection", "OKButton", "ckbAutoconnect", "ckbShowMessages"})
        EXPECT_FALSE(Control(&locked, name)->isEnabled()) << name;
    EXPECT_FALSE(locked.Changed());
}

TEST_F(SettingsWindowTest, NothingChangedNothingAskedNothingWritten) {
    const std::string before = ReadAll(s.StartFile);
    SettingsWindow w(t.app);
    Click(&w, "OKButton");
    Click(&w, "cmdCancel");
    EXPECT_TRUE(t.ui.Messages().empty());
    EXPECT_EQ(ReadAll(s.StartFile), before);
}

TEST_F(SettingsWindowTest, NewLogFolderIsCreatedOnSave) {
    SettingsWindow w(t.app);
    const std::string folder = t.dir.file("logs/new");
    Type(w, (folder + "  ").c_str());
    Control<QCheckBox>(&w, "ckbAutoconnect")->click();
    Click(&w, "OKButton");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(Saved("LogFolder"), folder);
    EXPECT_EQ(GetIniString(s.StartFile, "Connection", "AutoConnect"), "1");
    EXPECT_EQ(t.app.App().Status.AutoConnectActive, 1);
    EXPECT_EQ(s.LogFile, folder + "/Pelkor.txt");
    EXPECT_FALSE(w.Changed());
}

TEST_F(SettingsWindowTest, FolderOnAVolumeNotMountedIsRefusedAndNothingSaved) {
    SettingsWindow w(t.app);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    const std::string before = ReadAll(s.StartFile);
    const std::string folder = "/media/pelkor-absent-" + std::to_string(::getpid()) + "/logs";
    Type(w, folder.c_str());
    Control(&w, "OKButton")->setFocus();
    Click(&w, "OKButton");
    ASSERT_EQ(t.ui.Messages().size(), 2u);
    EXPECT_EQ(t.ui.Messages()[0].Text, "Cannot read drive " + folder);
    EXPECT_EQ(ReadAll(s.StartFile), before);
    EXPECT_EQ(s.LogFolder, t.dir.path());
    EXPECT_TRUE(Control(&w, "txbLogFolder")->hasFocus());
    EXPECT_TRUE(w.Changed());
}

TEST_F(SettingsWindowTest, CloseWithChangesAsksYesNoCancel) {
    SettingsWindow w(t.app);
    w.show();
    Control<QCheckBox>(&w, "ckbLogFile")->click();
    t.ui.QueueAnswers({MsgAnswer::Cancel, MsgAnswer::No});
    Click(&w, "cmdCancel");
    EXPECT_TRUE(w.isVisible());
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    ASSERT_EQ(t.ui.Messages().size(), 2u);
    EXPECT_EQ(t.ui.Messages()[0].Text, "Do you want to save settings changes");
    EXPECT_EQ(t.ui.Messages()[0].Buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(Saved("LogUsed"), "0");
}

TEST_F(SettingsWindowTest, DesktopShortcutOnceForAValidStartFile) {
    const std::string desktop = t.dir.file("Desktop");
    s.DLL = 20;
    SettingsWindow w(t.app);
    w.SetDesktopFolder([&] { return desktop; });
    Click(&w, "cmdShortcut");
    EXPECT_TRUE(t.ui.Messages().empty());
    EXPECT_EQ(t.ui.LastStatusLine(), "Desktop shortcut written to " + desktop + "/Plant A.desktop");
    const std::string text = ReadAll(desktop + "/Plant A.desktop");
    EXPECT_NE(text.find(" \"" + s.StartFile + "\" PG5=20000\n"), std::string::npos) << text;
    Click(&w, "cmdShortcut");
    ASSERT_EQ(t.ui.Messages().size(), 1u);
    EXPECT_EQ(t.ui.Messages()[0].Text, "This Shortcut already exist !");
    EXPECT_EQ(t.ui.Messages()[0].Title, "Pelkor  Create Shortcut");

    s.StartFile = t.dir.file("v1.2/plant");
    Click(&w, "cmdShortcut");
    ASSERT_EQ(t.ui.Messages().size(), 2u);
    EXPECT_EQ(t.ui.Messages()[1].Text, "Invalid File Name : \n" + s.StartFile);
    EXPECT_EQ(t.ui.Messages()[1].Title, "Pelkor Create Shortcut");
}

TEST_F(SettingsWindowTest, RelativeFolderIsSavedAbsolute) {
    SettingsWindow w(t.app);
    Type(w, "logs/rel");
    Click(&w, "OKButton");
    EXPECT_EQ(Saved("LogFolder"), t.dir.file("logs/rel"))
        << "beside the start file, whatever the current folder";
    EXPECT_TRUE(fs::is_empty(t.dir.file("logs/rel"))) << "the probe file is gone";
}

TEST_F(SettingsWindowTest, AFolderTheUserCannotWriteIsRefused) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    SettingsWindow w(t.app);
    const std::string locked = t.dir.file("locked");
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    Type(w, locked.c_str());
    Click(&w, "OKButton");
    fs::permissions(locked, fs::perms::owner_all);
    ASSERT_FALSE(t.ui.Messages().empty());
    EXPECT_EQ(t.ui.Messages().back().Text,
              "Cannot write in the folder :\n" + locked + "\n\nChange the path.");
    EXPECT_EQ(Saved("LogFolder"), t.dir.path());
    EXPECT_TRUE(w.Changed());
}

TEST_F(SettingsWindowTest, EnterInTheFolderFieldOpensNothingAndPg5CopyNeedsAPg5) {
    s.DLL = 20; // "PG5=20" on the command line, but no PG5 on this machine
    SettingsWindow w(t.app);
    int picked = 0;
    w.SetFolderPicker([&](std::string&) { return ++picked, false; });
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    Control(&w, "txbLogFolder")->setFocus();
    QTest::keyClick(Control(&w, "txbLogFolder"), Qt::Key_Return);
    EXPECT_EQ(picked, 0);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(Control(&w, "cmdUsePg5")->isEnabled());
}

struct FolderPickerTest : ::testing::Test {
    WindowTestApp t;
    std::vector<Volume> volumes{
        {"/", "", true}, {t.dir.file("stick"), "STICK", true}, {t.dir.file("cd"), "CD", false}};
    void SetUp() override { fs::create_directories(t.dir.file("stick/data")); }
    std::unique_ptr<FolderPickerDialog> Open(const std::string& folder) {
        return std::make_unique<FolderPickerDialog>(
            t.app.App(), folder, nullptr, [this] { return volumes; },
            [](const Volume& v, std::string& error) {
                error = "No medium found";
                return v.Ready;
            });
    }
};

TEST_F(FolderPickerTest, AVanishedFolderStartsAtItsVolumeRoot) {
    auto p = Open(t.dir.file("stick/gone/deeper"));
    EXPECT_EQ(p->windowTitle(), "Pelkor Change Directory");
    EXPECT_EQ(p->ListedFolder(), t.dir.file("stick"));
    EXPECT_EQ(Control<QComboBox>(p.get(), "drvDrives")->currentIndex(), 1);
    EXPECT_EQ(Control<QLineEdit>(p.get(), "txtPath")->text().toStdString(),
              t.dir.file("stick/gone/deeper"));
    Click(p.get(), "cmdOK"); // OK makes it again
    EXPECT_EQ(p->result(), QDialog::Accepted);
    EXPECT_FALSE(p->Accepted()); // the same folder
    EXPECT_TRUE(fs::is_directory(t.dir.file("stick/gone/deeper")));
}

TEST_F(FolderPickerTest, AVolumeWithoutAMediumLeavesTheDriveListOnTheLastGoodOne) {
    auto p = Open(t.dir.file("stick/data"));
    auto* drives = Control<QComboBox>(p.get(), "drvDrives");
    t.ui.QueueAnswer(MsgAnswer::Cancel);
    drives->setCurrentIndex(2);
    ASSERT_EQ(t.ui.Messages().size(), 1u);
    EXPECT_EQ(t.ui.Messages()[0].Text, "Cannot read drive " + t.dir.file("cd"));
    EXPECT_EQ(t.ui.Messages()[0].Title, t.dir.file("cd") + "  [CD]");
    EXPECT_EQ(drives->currentIndex(), 1);
    EXPECT_EQ(p->ListedFolder(), t.dir.file("stick/data"));
    drives->setCurrentIndex(0);
    EXPECT_EQ(p->ListedFolder(), "/");
}

TEST_F(FolderPickerTest, OkStaysOpenWhenTheFolderCannotBeMade) {
    std::ofstream(t.dir.file("stick/file")) << "x";
    auto p = Open(t.dir.file("stick"));
    auto* path = Control<QLineEdit>(p.get(), "txtPath");
    path->setText("file/sub"); // below the listed folder
    Click(p.get(), "cmdOK");
    EXPECT_NE(p->result(), QDialog::Accepted);
    EXPECT_EQ(path->selectedText(), path->text());
    EXPECT_EQ(p->Folder(), t.dir.file("stick"));
    path->setText("new");
    Click(p.get(), "cmdOK");
    EXPECT_TRUE(p->Accepted());
    EXPECT_EQ(p->Folder(), t.dir.file("stick/new"));
}

} // namespace
} // namespace pelkor

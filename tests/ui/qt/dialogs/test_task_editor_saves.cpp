// What the editors store is what they show: edits are never dropped or
// kept unasked, refused lists name their row, the window is a window.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>

#include "ui/qt/dialogs/EditorTestSupport.h"
#include "ui/qt/dialogs/ResourceEditorWindow.h"
#include "ui/qt/models/ResourceGridModel.h"

namespace pelkor {
namespace {

using EditorSaves = EditorFixture;

// As a screen reader toggles: toggle(), no click.
void AccessibleToggle(QWidget* box) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->actionInterface(), nullptr);
    a->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QApplication::processEvents();
}

TEST_F(EditorSaves, TheEditorIsADialogNamedByItsCaptionAndToggledBoxesCount) {
    Load(2);
    Open();
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w.data());
    EXPECT_EQ(a->role(), QAccessible::Dialog);
    EXPECT_EQ(a->text(QAccessible::Name), w->windowTitle());
    AccessibleToggle(Control<QCheckBox>(w, "ckbTimeStamp"));
    t.ui.QueueAnswer(MsgAnswer::No);
    Click(w, "Forward");
    ASSERT_EQ(t.ui.Messages().size(), 1u);
    EXPECT_EQ(t.ui.LastMessage()->Text, "Do you want to save changes of the task 1");
}

TEST_F(EditorSaves, EveryTypedBoxCountsAsAChange) {
    Load(2, "IntervalUnit=3\n");
    Open();
    auto edits = std::vector<std::function<void()>>{
        [&] { Type("txbData", "F 1"); },
        [&] {
            Control<QWidget>(w, "txbDataFile")->setEnabled(true); // as with "Used" checked
            Type("txbDataFile", "x.xls");
        },
        [&] { Type("txbReadHour", "1"); }, [&] { Type("txbFormatTime", "hh"); },
        [&] { Control<QCheckBox>(w, "ckbFormatTime")->toggle(); }};
    for (std::size_t i = 0; i < edits.size(); ++i) {
        edits[i]();
        t.ui.QueueAnswer(MsgAnswer::No);
        Click(w, "Forward");
        EXPECT_EQ(t.ui.Messages().size(), i + 1) << "edit " << i;
        Click(w, "Back");
    }
}

TEST_F(EditorSaves, CancelOnTheErrorListKeepsTheOldTaskAndTheQuestion) {
    Load(2);
    Open();
    Type("txbTaskComment", "x");
    Set("txbSBus", "254");
    t.ui.QueueAnswer(MsgAnswer::Cancel);
    Click(w, "Save");
    EXPECT_EQ(ctx.Tasks[1].Comments, "T1");
    t.ui.QueueAnswer(MsgAnswer::No);
    Click(w, "Forward");
    EXPECT_EQ(t.ui.LastMessage()->Text, "Do you want to save changes of the task 1");
}

TEST_F(EditorSaves, AFailedAddressFileReadLeavesTheTaskReadable) {
    Load(1);
    Open();
    Control<QCheckBox>(w, "ckbFile")->click();
    Set("txbDataFile", QString::fromStdString(t.dir.file("missing.xls")));
    Set("txbCells", "A1:A3");
    for (int k = 0; k < 3; ++k)
        t.ui.QueueAnswer(MsgAnswer::Ok);
    Click(w, "cmdRefresh");
    EXPECT_EQ(t.ui.LastMessage()->Text, "No Address specified !");
    EXPECT_EQ(ctx.Tasks[1].Data, "R 1");
    EXPECT_EQ(ctx.Tasks[1].AddressCount, 1);
    EXPECT_EQ(ctx.Tasks[1].Resources[0].Kind, 'R');
}

TEST_F(EditorSaves, NoReadIntervalIsShownAfterSave) {
    Load(1);
    Open();
    Set("txbReadInterval", "0");
    t.ui.QueueAnswer(MsgAnswer::Ok);
    Click(w, "Save");
    EXPECT_EQ(Text("txbError"), "Task 1 : no read interval, not read");
    EXPECT_EQ(ctx.Tasks[1].NextRead, 0);
    EXPECT_EQ(Text("txbNext"), "");
}

TEST_F(EditorSaves, OwnStationAndAddressWithoutPg5) {
    ctx.Status.PG5Available = 0;
    Load(1, "Settings=0\nSBus=300\nIPAddress=192.168.100.200\n");
    Open();
    for (const char* name : {"frmConnection", "ckbPG5", "txbSBus", "txbIP", "lblSBus", "lblIP"})
        EXPECT_TRUE(Control<QWidget>(w, name)->isVisible()) << name;
    EXPECT_FALSE(Control<QWidget>(w, "ckbAuto")->isVisible());
    auto* ip = Control<QLineEdit>(w, "txbIP");
    EXPECT_GE(ip->width(), ip->fontMetrics().horizontalAdvance("192.168.100.200"));
    Set("txbSBus", "12");
    Click(w, "Save");
    EXPECT_TRUE(t.ui.Messages().empty()) << t.ui.LastMessage()->Text;
    EXPECT_EQ(Key(1, "SBus"), "12");
}

TEST_F(EditorSaves, BrowsedFolderIsPartOfTheEditAndNoUndoesIt) {
    Load(1);
    Open();
    const std::string before = ctx.Tasks[1].OutFolder;
    const std::string chosen = t.dir.file("picked");
    QTimer::singleShot(0, [&] {
        QWidget* picker = QApplication::activeModalWidget();
        ASSERT_NE(picker, nullptr);
        Control<QLineEdit>(picker, "txtPath")->setText(QString::fromStdString(chosen));
        Click(picker, "cmdOK");
    });
    Click(w, "cmdUserFile");
    EXPECT_EQ(Text("txbFolder").toStdString(), chosen);
    EXPECT_EQ(ctx.Tasks[1].OutFolder, before);
    t.ui.QueueAnswer(MsgAnswer::No);
    w->close();
    EXPECT_EQ(ctx.Tasks[1].OutFolder, before);
}

struct ResourceRefusals : EditorFixture {
    std::unique_ptr<ResourceEditorWindow> r;
    void OpenOn(const std::string& data) {
        Load(1, "Data=" + data + "\n");
        ctx.Tasks[1].Data = data;
        ctx.Tasks[1].DataHead = "a,b";
        bool ok = false;
        t.app.Engine().SetResources(1, ok);
        r = std::make_unique<ResourceEditorWindow>(
            t.app, 1, ResourceOptions{false, false, false, false, true});
    }
};

TEST_F(ResourceRefusals, EmptyRowsLeaveWithTheirHeadsBadRowsAreNamed) {
    OpenOn("R 0 [4],F 0 [8]");
    r->ShowRow(1);
    Click(r.get(), "cmdInsert");
    EXPECT_TRUE(r->Apply());
    EXPECT_EQ(ctx.Tasks[1].Data, "R 0 [4],F 0 [8]");
    EXPECT_EQ(ctx.Tasks[1].DataHead, "a,b");
    EXPECT_EQ(r->Grid().rowCount(), 2);

    r->Grid().SetCell(1, 2, "R 99999");
    EXPECT_FALSE(r->Apply());
    EXPECT_EQ(t.ui.LastMessage()->Text.substr(0, 24), "Row 2 : R 99999 out of r");
    r->Grid().SetCell(1, 2, "F 1");
    r->Grid().SetCell(1, 3, "Temp;C");
    EXPECT_FALSE(r->Apply());
    r->Grid().SetCell(1, 3, "Temp");
    Control<QLineEdit>(r.get(), "txbLineCnt")->setText("No, x");
    EXPECT_FALSE(r->Apply());
    EXPECT_EQ(t.ui.LastMessage()->Text,
              "\",\" cannot be used in the headline of an optional column (No, x)");
    EXPECT_EQ(ctx.Tasks[1].Data, "R 0 [4],F 0 [8]");
}

TEST_F(ResourceRefusals, HeadlineBoxToggledByAssistiveTechnologyActs) {
    OpenOn("R 1");
    auto* box = Control<QCheckBox>(r.get(), "ckbHeadline");
    AccessibleToggle(box);
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(Control<QLineEdit>(r.get(), "txbHead")->isEnabled());
    EXPECT_TRUE(r->Changed());
}

} // namespace
} // namespace pelkor

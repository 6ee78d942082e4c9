// The task editor driven by its controls, answers scripted.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "ui/qt/dialogs/EditorTestSupport.h"

namespace pelkor {
namespace {

using TaskEditor = EditorFixture;

TEST_F(TaskEditor, ToolbarCaptionsAndEndsOfTheList) {
    Load(3);
    Open();
    EXPECT_EQ(w->windowTitle(), QString::fromStdString("Pelkor [" + file + "]"));
    auto* back = Control<QAction>(w, "Back");
    auto* forward = Control<QAction>(w, "Forward");
    EXPECT_EQ(back->text(), "Prev.");
    EXPECT_EQ(back->toolTip(), "Previouse");
    EXPECT_FALSE(back->isEnabled());
    EXPECT_TRUE(forward->isEnabled());
    Click(w, "Forward");
    Click(w, "Forward");
    EXPECT_EQ(Control<QLabel>(w, "lblTaskNum")->text(), "Task 3 of 3");
    EXPECT_EQ(Text("txbTaskComment"), "T3");
    EXPECT_FALSE(forward->isEnabled());
    EXPECT_TRUE(back->isEnabled());
}

TEST_F(TaskEditor, NewStopsAtHundredAndAddsATaskToTheFile) {
    Load(1);
    Open();
    Click(w, "New");
    EXPECT_EQ(Control<QLabel>(w, "lblTaskNum")->text(), "Task 2 of 2");
    EXPECT_EQ(Key(2, "FileName"), "PCD_Data");
    EXPECT_FALSE(Control<QPushButton>(w, "cmdRead")->isEnabled());
    ctx.Settings.TaskCount = 100;
    Click(w, "New");
    EXPECT_EQ(t.ui.LastMessage()->Text, "You cannot create a new Task. Maximum = 100");
}

TEST_F(TaskEditor, RemovingTaskTwoOfFourMovesTheSections) {
    Load(4);
    Open();
    Click(w, "Forward");
    t.ui.QueueAnswer(MsgAnswer::Ok);
    Click(w, "Delete");
    EXPECT_EQ(Control<QLabel>(w, "lblTaskNum")->text(), "Task 2 of 3");
    EXPECT_EQ(Text("txbTaskComment"), "T3");
    EXPECT_EQ(Key(2, "Comments"), "T3");
    EXPECT_EQ(Key(3, "Comments"), "T4");
    EXPECT_EQ(Key(4, "Comments"), "");
    EXPECT_EQ(GetIniString(file, "Pelkor", "Task"), "3");
    EXPECT_EQ(ctx.Tasks[2].Resources[0].Address, 3); // the parsed list moved with its task
}

TEST_F(TaskEditor, OnlyTaskIsNotRemoved) {
    Load(1);
    Open();
    Click(w, "Delete");
    EXPECT_EQ(t.ui.LastMessage()->Text, "You cannot remove this Task.");
    EXPECT_EQ(ctx.Settings.TaskCount, 1);
}

TEST_F(TaskEditor, SaveChecksInOrderAndNormalisesTheStartCell) {
    Load(1);
    Open();
    Set("txbSBus", "254");
    Set("txbReadInterval", "61");
    t.ui.QueueAnswer(MsgAnswer::Cancel);
    Click(w, "Save");
    const std::string text = t.ui.LastMessage()->Text;
    EXPECT_LT(text.find("Bad Station (numeric value 0 to 253)"),
              text.find("Bad Interval (numeric value 1 to 60)"));
    EXPECT_EQ(Key(1, "ReadInterval"), "");

    Set("txbSBus", "0");
    Set("txbReadInterval", "60");
    Control<QComboBox>(w, "cmbIntervalUnit")->setCurrentIndex(3);
    Control<QRadioButton>(w, "optFileType_1")->click();
    Set("txbCellStart", "b7 ");
    t.ui.ClearMessages();
    Click(w, "Save");
    EXPECT_TRUE(t.ui.Messages().empty());
    EXPECT_EQ(Text("txbCellStart"), "B7");
    EXPECT_EQ(Key(1, "StartCell"), "B7");
    EXPECT_EQ(Key(1, "IntervalUnit"), "3");
    EXPECT_EQ(Key(1, "FileType"), "XLS");
    Set("txbCellStart", "");
    Click(w, "Save");
    EXPECT_EQ(Key(1, "StartCell"), "A1");
}

TEST_F(TaskEditor, HiddenStartTimeIsCheckedAndYesOnCloseStillCloses) {
    Load(1);
    Open();
    EXPECT_TRUE(Control<QLineEdit>(w, "txbReadHour")->isHidden());
    Set("txbReadHour", "25:99");
    Type("txbTaskComment", "x");
    t.ui.QueueAnswer(MsgAnswer::Yes);
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(t.ui.Messages().size(), 2u);
    EXPECT_EQ(t.ui.Messages()[0].Text, "Do you want to save settings changes");
    EXPECT_EQ(t.ui.Messages()[1].Text, "Time value hh:mm:ss");
    EXPECT_TRUE(w.isNull());
    EXPECT_EQ(Key(1, "Comments"), "T1");
}

TEST_F(TaskEditor, DisabledTaskWithErrorsIsSavedWithoutQuestion) {
    Load(1);
    Open();
    Control<QCheckBox>(w, "ckbTask")->click();
    Set("txbFileName", "");
    Set("txbSBus", "300");
    Click(w, "Save");
    EXPECT_TRUE(t.ui.Messages().empty());
    EXPECT_EQ(Key(1, "Disabled"), "1");
}

TEST_F(TaskEditor, TypedAddressesAreAChangeLikeTheOtherBoxes) {
    Load(2);
    Open();
    Type("txbData", "R 99");
    t.ui.QueueAnswer(MsgAnswer::No);
    Click(w, "Forward");
    EXPECT_EQ(t.ui.Messages().size(), 1u);
    t.ui.ClearMessages();
    EXPECT_EQ(Text("txbData"), "R 2");
    Type("txbTaskComment", "y");
    t.ui.QueueAnswer(MsgAnswer::No);
    Click(w, "Back");
    ASSERT_EQ(t.ui.Messages().size(), 1u);
    EXPECT_EQ(t.ui.LastMessage()->Text, "Do you want to save changes of the task 2");
    EXPECT_EQ(t.ui.LastMessage()->Title, "Task changes");
    EXPECT_EQ(Text("txbTaskComment"), "T1");
}

TEST_F(TaskEditor, NoneFileTypeShowsEmptyDisabledOutputButCanGetAFileBack) {
    Load(3);
    ctx.Tasks[1].FileType = "None";
    ctx.Tasks[2].FileType = "XLS";
    ctx.Tasks[3].FileType = "None";
    Open();
    EXPECT_FALSE(Control<QRadioButton>(w, "optFileType_0")->isChecked());
    EXPECT_TRUE(Control<QRadioButton>(w, "optFileType_0")->isEnabled());
    EXPECT_TRUE(Control<QRadioButton>(w, "optFileType_1")->isEnabled());
    EXPECT_FALSE(Control<QWidget>(w, "txbFileName")->isEnabled());
    EXPECT_EQ(Text("txbFileName"), "");
    EXPECT_TRUE(Control<QWidget>(w, "frmExcel")->isHidden());
    Click(w, "Save");
    EXPECT_TRUE(t.ui.Messages().empty());
    EXPECT_EQ(Key(1, "FileType"), "None");
    Click(w, "Forward");
    EXPECT_TRUE(Control<QRadioButton>(w, "optFileType_1")->isChecked());
    EXPECT_FALSE(Control<QWidget>(w, "frmExcel")->isHidden());
    Click(w, "Forward");
    Control<QRadioButton>(w, "optFileType_0")->click();
    EXPECT_EQ(Control<QLabel>(w, "lblTaskNum")->text(), "Task 3 of 3");
    EXPECT_TRUE(Control<QRadioButton>(w, "optFileType_0")->isChecked());
    EXPECT_TRUE(Control<QWidget>(w, "txbFileName")->isEnabled());
    Type("txbFileName", "back");
    Set("txbReadInterval", "10"); // task 3 loads from zero
    Click(w, "Save");
    EXPECT_TRUE(t.ui.Messages().empty()) << t.ui.LastMessage()->Text;
    EXPECT_EQ(Key(3, "FileType"), "CSV");
    EXPECT_EQ(Key(3, "FileName"), "back");
}

TEST_F(TaskEditor, LockedFileShowsEverythingAndWritesNothing) {
    Load(2, "", true);
    const std::string before = ReadAll(file);
    Open();
    EXPECT_EQ(w->windowTitle(), "Pelkor Locked Parameters File");
    EXPECT_FALSE(Control<QWidget>(w, "txbTaskComment")->isEnabled());
    EXPECT_FALSE(Control<QWidget>(w, "txbData")->isEnabled());
    EXPECT_TRUE(Control<QWidget>(w, "cmdEditAdd")->isEnabled());
    Click(w, "New");
    EXPECT_EQ(Text("txbError"), "Locked start file: changes last until Pelkor ends");
    Click(w, "Save");
    t.ui.QueueAnswer(MsgAnswer::Ok);
    Click(w, "Delete");
    EXPECT_EQ(Text("txbError"), "Locked start file: changes last until Pelkor ends");
    EXPECT_EQ(ctx.Settings.TaskCount, 2);
    EXPECT_EQ(ReadAll(file), before);
}

TEST_F(TaskEditor, ReadingsOfTheShownTaskAppearLive) {
    Load(2);
    Open();
    ctx.Tasks[1].LastValues = "1;2;3";
    ctx.Tasks[1].TaskError = "Read STN 0 R 1 failed : x";
    ctx.Tasks[1].RowsWritten = 7;
    w->ShowDataRead(2);
    EXPECT_EQ(Text("txbLastRead"), "");
    w->ShowDataRead(1);
    EXPECT_EQ(Text("txbLastRead"), "1;2;3");
    EXPECT_EQ(Text("txbCounter"), "7");
    EXPECT_TRUE(Control<QLineEdit>(w, "txbError")->styleSheet().contains("red"));
    Click(w, "cmdClear");
    EXPECT_EQ(Text("txbLastRead"), "");
    EXPECT_EQ(ctx.Tasks[1].LastValues, "1;2;3");
}

} // namespace
} // namespace pelkor

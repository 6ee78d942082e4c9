// The resource editor on a task, driven by its controls.
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QTableView>
#include <QTimer>

#include "ui/qt/dialogs/EditorTestSupport.h"
#include "ui/qt/dialogs/ResourceEditorWindow.h"
#include "ui/qt/models/ResourceGridModel.h"

namespace pelkor {
namespace {

struct ResourceEditor : EditorFixture {
    std::unique_ptr<ResourceEditorWindow> r;
    ResourceOptions options;
    ResourceEditorWindow* OpenOn(const std::string& data, bool locked = false) {
        Load(1, "Data=" + data + "\n", locked);
        ctx.Tasks[1].Data = data;
        bool ok = false;
        t.app.Engine().SetResources(1, ok);
        r = std::make_unique<ResourceEditorWindow>(t.app, 1, options);
        return r.get();
    }
    std::string Cell(int row, int column) {
        return r->Grid().data(r->Grid().index(row, column)).toString().toStdString();
    }
    void Row(int n, const char* station, const char* variable) {
        r->ShowRow(n);
        QTest::keyClicks(Control<QLineEdit>(r.get(), "txbStation"), station);
        QTest::keyClicks(Control<QLineEdit>(r.get(), "txbAdd"), variable);
    }
};

TEST_F(ResourceEditor, RowsTypedInTheEditorComposeTheList) {
    options.HeadLines = true;
    OpenOn("");
    EXPECT_EQ(r->Grid().rowCount(), 1);
    EXPECT_EQ(r->Grid().headerData(2, Qt::Horizontal).toString(), "PCD Variables");
    Row(1, "2", "1");
    Click(r.get(), "cmdNew");
    Row(2, "", "5");
    Control<QComboBox>(r.get(), "cmbTyp")->setCurrentIndex(1);
    QTest::keyClicks(Control<QLineEdit>(r.get(), "txbNumber"), "3");
    Click(r.get(), "cmdNew");
    r->ShowRow(3);
    QTest::keyClicks(Control<QLineEdit>(r.get(), "txbStation"), "3");
    auto* typ = Control<QComboBox>(r.get(), "cmbTyp");
    typ->setCurrentIndex(3);
    emit typ->activated(3);
    EXPECT_EQ(Cell(2, 2), "K");
    QTest::keyClicks(Control<QLineEdit>(r.get(), "txbHead"), "a,b");
    Click(r.get(), "cmdSave");
    EXPECT_EQ(ctx.Tasks[1].Data, "STN 2 R 1,F 5 [3],STN 3 CLK");
    EXPECT_EQ(ctx.Tasks[1].DataHead, ",,a\x01"
                                     "b");
    EXPECT_FALSE(r->Changed());
}

TEST_F(ResourceEditor, RowOperationsKeepNumbersConsecutive) {
    OpenOn("R 1,R 2,R 3");
    r->ShowRow(1);
    Click(r.get(), "cmdUp");
    EXPECT_EQ(Cell(0, 2), "R 1");
    r->ShowRow(3);
    Click(r.get(), "cmdDown");
    EXPECT_EQ(Cell(2, 2), "R 3");
    Click(r.get(), "cmdUp");
    EXPECT_EQ(Cell(1, 2), "R 3");
    EXPECT_EQ(Cell(1, 0), "2");
    auto* grid = Control<QTableView>(r.get(), "flgData");
    r->ShowRow(1);
    QTest::keyClick(grid, Qt::Key_Insert);
    EXPECT_EQ(r->Grid().rowCount(), 4);
    EXPECT_EQ(Cell(3, 0), "4");
    EXPECT_EQ(Cell(0, 2), "");
    for (int k = 0; k < 4; ++k)
        QTest::keyClick(grid, Qt::Key_Delete);
    EXPECT_EQ(r->Grid().rowCount(), 1); // the last row is emptied, not removed
    EXPECT_EQ(Cell(0, 2), "");
    EXPECT_EQ(Control<QLineEdit>(r.get(), "txbStation")->text(), "");
}

TEST_F(ResourceEditor, OptionsComeFromTheEditorAndNoOnCloseKeepsTheTask) {
    options.LineCount = true;
    OpenOn("R 1");
    EXPECT_TRUE(Control<QCheckBox>(r.get(), "ckbLineCnt")->isChecked());
    EXPECT_FALSE(Control<QLineEdit>(r.get(), "txbHead")->isEnabled());
    r->ShowRow(1);
    QTest::keyClicks(Control<QLineEdit>(r.get(), "txbAdd"), "0");
    EXPECT_EQ(Cell(0, 2), "R 10");
    t.ui.QueueAnswer(MsgAnswer::No);
    Click(r.get(), "cmdClose");
    EXPECT_EQ(t.ui.LastMessage()->Text, "Do you want to apply resources changes");
    EXPECT_EQ(ctx.Tasks[1].Data, "R 1");
    EXPECT_EQ(ctx.Tasks[1].LineCount, 0);
}

TEST_F(ResourceEditor, LockedEditorOnlyCloses) {
    OpenOn("R 1", true);
    for (const char* name : {"fmeOptions", "fmeResources", "ckbHeadline", "cmdSave"})
        EXPECT_FALSE(Control<QWidget>(r.get(), name)->isEnabled()) << name;
    QTest::keyClick(Control<QTableView>(r.get(), "flgData"), Qt::Key_Delete);
    Click(r.get(), "cmdClose");
    EXPECT_TRUE(t.ui.Messages().empty());
    EXPECT_EQ(r->result(), QDialog::Rejected);
    EXPECT_EQ(ctx.Tasks[1].Data, "R 1");
}

TEST_F(ResourceEditor, OpensModallyFromTheTaskEditorAndApplyReachesIt) {
    Load(1);
    Open();
    Control<QCheckBox>(w, "ckbHeadLine")->click(); // unsaved, yet the editor takes it
    QTimer::singleShot(0, [this] {
        auto* d = qobject_cast<ResourceEditorWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        EXPECT_TRUE(Control<QCheckBox>(d, "ckbHeadline")->isChecked());
        d->ShowRow(1);
        QTest::keyClicks(Control<QLineEdit>(d, "txbStation"), "4");
        Click(d, "cmdSave");
        Click(d, "cmdClose");
    });
    Click(w, "cmdEditAdd");
    EXPECT_EQ(ctx.Tasks[1].HeadLines, 1);
    EXPECT_EQ(Text("txbData"), "STN 4 R 1");
    EXPECT_TRUE(w->Changed()); // the applied list is not yet in the start file
}

} // namespace
} // namespace pelkor

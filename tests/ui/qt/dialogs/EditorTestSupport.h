#pragma once
// Task editor tests: a start file of n tasks loaded into the application
// object, and the editor opened on it.

#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <fstream>

#include "config/StartFile.h"
#include "ui/qt/QtTestSupport.h"
#include "ui/qt/dialogs/TaskEditorWindow.h"

namespace pelkor {

struct EditorFixture : ::testing::Test {
    WindowTestApp t;
    AppContext& ctx = t.app.App();
    std::string file = t.dir.file("tasks.pelk");
    QPointer<TaskEditorWindow> w;

    // Task i: comment Ti, list "R i", a CSV file; extra lines go into every task.
    void Load(int tasks, const std::string& extra = "", bool locked = false) {
        std::ofstream out(file);
        out << "[Pelkor]\nVersion=3\nLocked=" << (locked ? 1 : 0) << "\nTask=" << tasks << "\n";
        for (int i = 1; i <= tasks; ++i)
            out << "[Task" << i << "]\nComments=T" << i << "\nData=R " << i
                << "\nFileType=CSV\nFileName=f" << i << "\nOutFolder=" << t.dir.path() << "\n"
                << extra;
        out.close();
        ctx.Settings.StartFile = file;
        ASSERT_TRUE(ReadPelkorStartFile(ctx));
        for (int i = 1; i <= tasks; ++i) {
            bool ok = false;
            t.app.Engine().SetResources(i, ok);
        }
    }
    TaskEditorWindow* Open() {
        w = new TaskEditorWindow(t.app);
        w->show();
        QApplication::processEvents();
        return w;
    }
    void TearDown() override {
        if (w) delete w.data();
    }
    QString Text(const char* name) { return Control<QLineEdit>(w, name)->text(); }
    void Type(const char* name, const QString& text) {
        QTest::keyClicks(Control<QLineEdit>(w, name), text);
    }
    void Set(const char* name, const QString& text) { Control<QLineEdit>(w, name)->setText(text); }
    std::string Key(int task, const char* key) {
        return GetIniString(file, "Task" + std::to_string(task), key);
    }
};

} // namespace pelkor

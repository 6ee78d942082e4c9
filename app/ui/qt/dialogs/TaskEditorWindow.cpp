#include "ui/qt/dialogs/TaskEditorWindow.h"

#include <QLabel>
#include <QVBoxLayout>

#include "main/PelkorApp.h"

namespace pelkor {

// Placeholder until the task editor is built.
TaskEditorWindow::TaskEditorWindow(PelkorApp& app, QWidget* parent) : QWidget(parent, Qt::Window), app_(app) {
    setObjectName("frmData");
    setWindowTitle("Pelkor Tasks");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Tasks are edited in the start file for now.", this));
}

void TaskEditorWindow::ShowNextRead(int) {}
void TaskEditorWindow::ShowDataRead(int) {}

}  // namespace pelkor

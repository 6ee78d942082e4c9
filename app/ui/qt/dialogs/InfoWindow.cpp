#include "ui/qt/dialogs/InfoWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "application/PelkorApp.h"
#include "application/StartInfo.h"
#include "ui/qt/QtUserInterface.h"
#include "ui/qt/dialogs/AboutWindow.h"
#include "util/AppFolders.h"
#include "util/Shell.h"

namespace pelkor {

void OpenHelpPage(PelkorApp& app, int showCommand) {
    const std::string help = FindShippedFile("Pelkor.html", app.App().ProgramFolder);
    ShellError error;
    if (!ShellOpen(help, showCommand, "", "", "open", &error, app.Launcher()))
        app.App().Ui.MessageBox(error.Description + "\r\n" + help, "Pelkor", MsgIcon::Exclamation,
                                MsgButtons::Ok, MsgAnswer::Ok);
}

InfoWindow::InfoWindow(PelkorApp& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName("frmInfo");
    setWindowTitle("Pelkor  Start Info");
    auto* layout = new QVBoxLayout(this);
    auto* caption = new QLabel("Start information:", this);
    auto* text = new QPlainTextEdit(this);
    text->setObjectName("txbInfo");
    text->setReadOnly(true);
    text->setPlainText(ToQt(StartInfoText()));
    text->setMinimumSize(420, 260);
    caption->setBuddy(text);
    text->setAccessibleName("Start information");
    layout->addWidget(caption);
    layout->addWidget(text);

    auto* row = new QHBoxLayout;
    auto* help = new QPushButton("Show Help", this);
    help->setObjectName("cmdHelp");
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("cmdOK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cmdCancel");
    row->addWidget(help);
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);
    connect(help, &QPushButton::clicked, this, &InfoWindow::ShowHelp);
    connect(ok, &QPushButton::clicked, this, &InfoWindow::ShowAbout);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void InfoWindow::ShowHelp() {
    OpenHelpPage(app_, 10);
}

void InfoWindow::ShowAbout() {
    hide();
    AboutWindow about(app_, parentWidget());
    about.exec();
    accept();
}

} // namespace pelkor

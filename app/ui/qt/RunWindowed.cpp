#include "ui/qt/RunWindowed.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSessionManager>
#include <QTimer>
#include <filesystem>

#include "config/CommandLine.h"
#include "dde/DdeServer.h"
#include "log/LogEvents.h"
#include "pcd/PelsbusDriver.h"
#include "ui/qt/QtUserInterface.h"
#include "ui/qt/dialogs/InfoWindow.h"
#include "ui/qt/dialogs/MainWindow.h"

namespace pelkor {

namespace {

// The system ends the program: every open modal window (a dialog, a message
// box, one above the other) is closed as Cancel would close it, so its
// nested event loop returns and the close can go on in order.
void CloseModalsAsCancel(AppContext& app) {
    for (int guard = 0; guard < 16; ++guard) {
        QWidget* top = QApplication::activeModalWidget();
        if (!top) return;
        const QString caption = top->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(top)) {
            QAbstractButton* b = box->button(QMessageBox::Cancel);
            if (!b) b = box->escapeButton();
            if (!b) b = box->button(QMessageBox::No);
            if (!b) b = box->defaultButton();
            if (b) b->click();
            else box->QDialog::done(QDialog::Rejected);
        } else if (auto* dialog = qobject_cast<QDialog*>(top)) {
            // Past any "save changes?" question of the dialog's own reject().
            dialog->QDialog::done(QDialog::Rejected);
        } else {
            top->close();
        }
        LogEvent(app, 1, "\"" + caption.toStdString() + "\" closed: the program is ending, unsaved changes were discarded.");
        if (QApplication::activeModalWidget() == top) return;  // it would not go; try again next round
    }
}

}  // namespace

int RunWindowed(const WindowedRun& run) {
    QApplication::setQuitOnLastWindowClosed(false);
    QtUserInterface ui(run.Messages);
    EventLoopClock clock;
    DlPelsbus driver(run.LibraryFolders.empty() ? std::vector<std::string>{run.ProgramFolder} : run.LibraryFolders);
    PelkorApp app(ui, clock, run.ProgramFolder, driver, run.UserDataFolder);
    RunOptions options = run.Options;
    // A window has a progress bar to show the end of a reading on.
    if (options.ProgressPauseMs == 0) options.ProgressPauseMs = 200;
    app.SetOptions(options);
    ui.SetDde(&app.Dde());

    MainWindow window(app, ui);
    ui.SetMainWindow(&window);
    app.SetStartInfo([&app] {
        InfoWindow info(app);
        info.exec();
    });

    int status = 0;
    bool running = true;
    QObject::connect(&window, &MainWindow::ProgramEnded, [&](int s) {
        status = s;
        running = false;
        QCoreApplication::exit(s);
    });
    // A session that ends closes the program; "Shutdown" does not refuse it.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.SystemClose(); }, Qt::DirectConnection);
    QTimer stopWatch;
    stopWatch.setInterval(100);
    QObject::connect(&stopWatch, &QTimer::timeout, &window, [&] {
        if (!run.Stop || !run.Stop->load()) return;
        CloseModalsAsCancel(app.App());
        window.SystemClose();
    });
    stopWatch.start();

    std::error_code ec;
    const std::string cwd = std::filesystem::current_path(ec).string();
    if (!window.Load(CommandTextFromArgs(run.Words), cwd)) return window.ExitStatus();
    if (options.Seconds > 0)
        QTimer::singleShot(static_cast<int>(options.Seconds * 1000), &window, [&window] { window.SystemClose(); });
    if (window.ShouldShow()) window.show();
    if (run.OnShown) run.OnShown(app, window);
    if (running && !window.Ended()) QApplication::exec();
    return window.Ended() ? window.ExitStatus() : status;
}

}  // namespace pelkor

#include "ui/qt/RunWindowed.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QSessionManager>
#include <QTimer>
#include <filesystem>

#include "config/CommandLine.h"
#include "config/JobFiles.h"
#include "dde/DdeServer.h"
#include "log/LogEvents.h"
#include "pcd/PelsbusDriver.h"
#include "ui/qt/QtUserInterface.h"
#include "ui/qt/WidgetNames.h"
#include "ui/qt/dialogs/ChooseWindow.h"
#include "ui/qt/dialogs/InfoWindow.h"
#include "ui/qt/dialogs/MainWindow.h"
#include "util/AppFolders.h"
#include "util/Text.h"

namespace pelkor {

namespace {

bool NamesStartFile(const std::vector<std::string>& words) {
    for (const auto& w : words)
        if (EndsWithNoCase(w, ".pelk")) return true;
    return false;
}

// --choose: the start file the user picks, in front of the other words
// ("PG5="), so it runs as if named on the command line. False on Cancel.
bool ChooseStartFile(PelkorApp& app, const WindowedRun& run, std::vector<std::string>& words,
                     bool& newJob) {
    const std::string data = run.UserDataFolder.empty() ? run.ProgramFolder : run.UserDataFolder;
    ChooseWindow chooser(
        app, data,
        FindShippedFile(std::string("examples/") + NewJobTemplateName, run.ProgramFolder));
    if (run.OnChoose) run.OnChoose(chooser);
    if (chooser.exec() != QDialog::Accepted) return false;
    words.insert(words.begin(), chooser.Chosen());
    newJob = chooser.NewJob();
    return true;
}

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
            if (b)
                b->click();
            else
                box->QDialog::done(QDialog::Rejected);
        } else if (auto* dialog = qobject_cast<QDialog*>(top)) {
            // Past any "save changes?" question of the dialog's own reject().
            dialog->QDialog::done(QDialog::Rejected);
        } else {
            top->close();
        }
        LogEvent(app, 1,
                 "\"" + caption.toStdString() +
                     "\" closed: the program is ending, unsaved changes were discarded.");
        if (QApplication::activeModalWidget() == top)
            return; // it would not go; try again next round
    }
}

} // namespace

QIcon ProgramIcon(const std::string& programFolder) {
    return QIcon(Q(FindShippedFile("pelkor.png", programFolder)));
}

int RunWindowed(const WindowedRun& run) {
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ProgramIcon(run.ProgramFolder));
    QtUserInterface ui(run.Messages);
    EventLoopClock clock;
    DlPelsbus driver(run.LibraryFolders.empty() ? std::vector<std::string>{run.ProgramFolder}
                                                : run.LibraryFolders);
    PelkorApp app(ui, clock, run.ProgramFolder, driver, run.UserDataFolder);
    RunOptions options = run.Options;
    // A window has a progress bar to show the end of a reading on.
    if (options.ProgressPauseMs == 0) options.ProgressPauseMs = 200;
    app.SetOptions(options);
    ui.SetIdleWork(&app.Idle());

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
    QObject::connect(
        qApp, &QGuiApplication::commitDataRequest, &window,
        [&window](QSessionManager&) { window.SystemClose(); }, Qt::DirectConnection);
    QTimer stopWatch;
    stopWatch.setInterval(100);
    QObject::connect(&stopWatch, &QTimer::timeout, &window, [&] {
        if (!run.Stop || !run.Stop->load()) return;
        CloseModalsAsCancel(app.App());
        window.SystemClose();
    });
    stopWatch.start();

    std::vector<std::string> words = run.Words;
    bool newJob = false;
    if (options.Choose && !NamesStartFile(words) && !ChooseStartFile(app, run, words, newJob))
        return 0;
    if (options.Choose && !newJob) {
        // A file opened from a file manager joins the recent list too.
        std::string ignored;
        for (const auto& w : words)
            if (EndsWithNoCase(w, ".pelk")) RememberRecentFile(run.UserDataFolder, w, ignored);
    }
    std::error_code ec;
    const std::string cwd = std::filesystem::current_path(ec).string();
    if (!window.Load(CommandTextFromArgs(words), cwd)) return window.ExitStatus();
    if (options.Seconds > 0)
        QTimer::singleShot(static_cast<int>(options.Seconds * 1000), &window,
                           [&window] { window.SystemClose(); });
    if (window.ShouldShow()) window.show();
    if (newJob)
        if (auto* tasks = window.findChild<QAction*>("m_tasks")) tasks->trigger();
    if (run.OnShown) run.OnShown(app, window);
    if (running && !window.Ended()) QApplication::exec();
    return window.Ended() ? window.ExitStatus() : status;
}

} // namespace pelkor

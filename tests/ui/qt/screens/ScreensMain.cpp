// pelkor_screens <folder> [name filter]: renders each registered window state
// to <folder>/<name>.png on the offscreen platform.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

#include "Screens.h"
#include "ui/qt/RunWindowed.h"
#include "util/AppFolders.h"

namespace pelkor::screens {
std::vector<ScreenEntry>& Registry() {
    static std::vector<ScreenEntry> entries;
    return entries;
}
} // namespace pelkor::screens

int main(int argc, char** argv) {
    using namespace pelkor::screens;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setWindowIcon(pelkor::ProgramIcon(pelkor::ExecutableFolder()));
    if (argc < 2) {
        std::fprintf(stderr, "usage: pelkor_screens <folder> [name filter]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString filter = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QDir().mkpath(out);
    QTemporaryDir scratch;
    int failed = 0;
    for (auto& entry : Registry()) {
        const QString name = QString::fromStdString(entry.Name);
        if (!filter.isEmpty() && !name.contains(filter)) continue;
        ScreenEnv env{scratch.path().toStdString() + "/" + entry.Name};
        QDir().mkpath(QString::fromStdString(env.Folder));
        std::unique_ptr<QWidget> w = entry.Make(env);
        if (!w) continue;
        w->show();
        QApplication::processEvents();
        const QString file = out + "/" + name + ".png";
        if (!w->grab().save(file)) {
            std::fprintf(stderr, "pelkor_screens: cannot write %s\n", qPrintable(file));
            ++failed;
        } else {
            std::printf("%s\n", qPrintable(file));
        }
        w->close();
    }
    return failed ? 1 : 0;
}

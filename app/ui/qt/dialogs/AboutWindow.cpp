#include "ui/qt/dialogs/AboutWindow.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "application/PelkorApp.h"
#include "application/StartInfo.h"
#include "pcd/PcdConnection.h"
#include "util/Shell.h"

namespace pelkor {

AboutWindow::AboutWindow(PelkorApp& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName("frmAbout");
    setWindowTitle("About Pelkor");
    auto* layout = new QVBoxLayout(this);

    auto* head = new QHBoxLayout;
    auto* picture = new QLabel(this);
    picture->setObjectName("imgLogo");
    picture->setPixmap(windowIcon().pixmap(48, 48));
    head->addWidget(picture, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    auto* title = new QLabel("Pelkor", this);
    title->setObjectName("lblTitle");
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    title->setFont(big);
    auto* version = new QLabel(QString::fromStdString(VersionText()), this);
    version->setObjectName("lblVersion");
    auto* www = new QLabel(this);
    www->setObjectName("lblWWW");
    www->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromLatin1(MakerWebAddress)));
    www->setToolTip("Start the default Internet Browser");
    www->setAccessibleName(QString::fromLatin1(MakerWebAddress));
    www->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(www, &QLabel::linkActivated, this, [this] { OpenWeb(); });
    texts->addWidget(title);
    texts->addWidget(version);
    texts->addWidget(www);
    head->addLayout(texts, 1);
    layout->addLayout(head);

    auto* frame = new QGroupBox("Register PG5 Add-On Tool", this);
    frame->setObjectName("frmPG5AddOn");
    auto* buttons = new QHBoxLayout(frame);
    PcdConnection& pcd = app_.Connection();
    const auto plan = Pg5Buttons([&pcd](int v) { return !pcd.Pg5AppsDir(v).empty(); });
    for (std::size_t k = 0; k < pg5_.size(); ++k) {
        auto* b = new QPushButton(QString::fromStdString(plan[k].Caption), frame);
        b->setObjectName(QStringLiteral("cmdPG5_%1").arg(k));
        b->setEnabled(plan[k].Enabled);
        b->setAutoDefault(false);
        tags_[k] = plan[k].Version;
        pg5_[k] = b;
        buttons->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, k] { Install(static_cast<int>(k)); });
    }
    layout->addWidget(frame);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("cmdOK");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    layout->addLayout(row);
}

void AboutWindow::Install(int index) {
    const int v = tags_[static_cast<std::size_t>(index)];
    InstallPg5AddOn(app_.App(), v,
                    v >= 13 && v <= 20 ? app_.Connection().Pg5LocalDir(v) : std::string(),
                    app_.App().ProgramFolder);
}

void AboutWindow::OpenWeb() {
    OpenWebAddress(app_.App(), MakerWebAddress, [this](const std::string& url) {
        ShellError error;
        if (ShellOpen(url, 1, "", "", "open", &error, app_.Launcher())) return true;
        app_.App().Ui.MessageBox(error.Description + "\r\n" + url, "Pelkor", MsgIcon::Exclamation,
                                 MsgButtons::Ok, MsgAnswer::Ok);
        return false;
    });
}

} // namespace pelkor

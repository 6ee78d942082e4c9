#include "ui/qt/dialogs/TrendWindow.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>
#include <functional>
#include <limits>

#include "application/PelkorApp.h"
#include "ui/qt/WidgetNames.h"
#include "util/Number.h"

namespace pelkor {

namespace {

struct Swatch {
    const char* Name;
    QColor Colour;
};
const Swatch Palette[] = {{"Blue", QColor(31, 119, 180)},    {"Orange", QColor(255, 127, 14)},
                          {"Green", QColor(44, 160, 44)},    {"Red", QColor(214, 39, 40)},
                          {"Purple", QColor(148, 103, 189)}, {"Brown", QColor(140, 86, 75)},
                          {"Pink", QColor(227, 119, 194)},   {"Grey", QColor(127, 127, 127)},
                          {"Olive", QColor(188, 189, 34)},   {"Cyan", QColor(23, 190, 207)}};
const Swatch& SwatchOf(std::size_t s) {
    return Palette[s % (sizeof Palette / sizeof Palette[0])];
}

const struct {
    const char* Caption;
    double Seconds; // 0: everything kept
} Spans[] = {{"Last 5 min", 300}, {"Last 1 h", 3600}, {"Last 1 day", 86400}, {"All", 0}};

enum Column {
    ColShown,
    ColColour,
    ColName,
    ColLast,
    ColMin,
    ColMax,
    ColAxis2,
    ColScale,
    ColOffset,
    ColCount
};
const char* const ColumnCaptions[] = {"Shown", "Colour", "Name",  "Last",  "Min",
                                      "Max",   "Axis 2", "Scale", "Offset"};

QString ValueText(double v) {
    return std::isnan(v) ? QString() : Q(NumberText(v));
}

} // namespace

// The chart: rubber band and wheel zoom the time axis, the tool tip shows the
// values under the cursor.
class TrendChartView : public QChartView {
public:
    TrendChartView(QChart* chart, TrendWindow& window) : QChartView(chart), window_(window) {
        setRubberBand(QChartView::HorizontalRubberBand);
        setMouseTracking(true);
        // Smoothing the lines costs ten times the drawing of a full chart.
        setRenderHint(QPainter::Antialiasing, false);
    }
    // The model x at a point of the view, or NaN outside the plot.
    double XAt(const QPointF& pos) const {
        const QRectF plot = chart()->plotArea();
        if (plot.width() <= 0 || pos.x() < plot.left() || pos.x() > plot.right())
            return std::nan("");
        const auto [from, to] = window_.ShownSpan();
        return from + (pos.x() - plot.left()) / plot.width() * (to - from);
    }

protected:
    void wheelEvent(QWheelEvent* event) override {
        const double at = XAt(event->position());
        if (std::isnan(at) || event->angleDelta().y() == 0) return;
        const double factor = event->angleDelta().y() > 0 ? 0.8 : 1.25;
        const auto [from, to] = window_.ShownSpan();
        window_.SetZoom(std::make_pair(at - (at - from) * factor, at + (to - at) * factor));
        event->accept();
    }
    // The keyboard does what the wheel and the rubber band do: + and - zoom
    // about the middle, the arrows move the span, Home resets.
    void keyPressEvent(QKeyEvent* event) override {
        const auto [from, to] = window_.ShownSpan();
        const double width = to - from, mid = (from + to) / 2;
        switch (event->key()) {
        case Qt::Key_Plus:
            window_.SetZoom(std::make_pair(mid - width * 0.4, mid + width * 0.4));
            break;
        case Qt::Key_Minus:
            window_.SetZoom(std::make_pair(mid - width * 0.625, mid + width * 0.625));
            break;
        case Qt::Key_Left:
            window_.SetZoom(std::make_pair(from - width / 4, to - width / 4));
            break;
        case Qt::Key_Right:
            window_.SetZoom(std::make_pair(from + width / 4, to + width / 4));
            break;
        case Qt::Key_Home:
            window_.SetZoom(std::nullopt);
            break;
        default:
            QChartView::keyPressEvent(event);
            return;
        }
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        QChartView::mouseMoveEvent(event);
        const double x = XAt(event->position());
        if (std::isnan(x) || window_.Model().Empty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPosition().toPoint(), window_.ValuesText(x), this);
    }

private:
    TrendWindow& window_;
};

TrendWindow::TrendWindow(PelkorApp& app, QWidget* parent)
    : QMainWindow(parent), app_(app), feed_(model_) {
    setObjectName("frmTrend");
    BuildControls();
    resize(1120, 580);
    const RunStatus& st = app_.App().Status;
    FollowTask(st.EditorOpen != 0 ? st.EditTask : st.NextTask);
    app_.Engine().AddReadingObserver(this);
}

TrendWindow::~TrendWindow() {
    app_.Engine().RemoveReadingObserver(this);
}

void TrendWindow::BuildControls() {
    cboTask_ = Named(new QComboBox(this), "cboTask");
    cboTask_->setAccessibleName("Task");
    const AppContext& a = app_.App();
    for (int t = 1; t <= a.Settings.TaskCount && t <= MaxTasks; ++t) {
        const std::string& note = a.Tasks[t].Comments;
        cboTask_->addItem(QString("Task %1").arg(t) + (note.empty() ? QString() : " - " + Q(note)),
                          t);
    }
    connect(cboTask_, &QComboBox::activated, this,
            [this](int i) { FollowTask(cboTask_->itemData(i).toInt()); });
    cboSpan_ = Named(new QComboBox(this), "cboSpan");
    cboSpan_->setAccessibleName("Time span");
    for (const auto& s : Spans)
        cboSpan_->addItem(s.Caption);
    cboSpan_->setCurrentIndex(3);
    connect(cboSpan_, &QComboBox::currentIndexChanged, this, [this] { SetZoom(std::nullopt); });
    auto button = [this](const char* name, const char* caption, void (TrendWindow::*slot)()) {
        auto* b = Named(new QPushButton(caption, this), name);
        b->setAccessibleName(QString(caption).remove("..."));
        if (slot) connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    auto* top = new QHBoxLayout;
    auto* lblTask = new QLabel("&Task:", this);
    lblTask->setBuddy(cboTask_);
    auto* lblSpan = new QLabel("&Span:", this);
    lblSpan->setBuddy(cboSpan_);
    top->addWidget(lblTask);
    top->addWidget(cboTask_, 1);
    top->addWidget(lblSpan);
    top->addWidget(cboSpan_);
    top->addWidget(button("cmdOpen", "Open...", &TrendWindow::OnOpen));
    top->addWidget(button("cmdResetZoom", "Reset zoom", nullptr));
    connect(findChild<QPushButton*>("cmdResetZoom"), &QPushButton::clicked, this,
            [this] { SetZoom(std::nullopt); });
    top->addWidget(button("cmdSaveImage", "Save image...", &TrendWindow::OnSaveImage));
    top->addWidget(button("cmdExport", "Export...", &TrendWindow::OnExport));

    chart_ = new QChart;
    chart_->legend()->hide();
    chart_->setMargins(QMargins(4, 4, 4, 4));
    for (int a2 = 0; a2 < 2; ++a2) {
        yAxis_[a2] = new QValueAxis;
        yAxis_[a2]->setLabelFormat("%g");
        chart_->addAxis(yAxis_[a2], a2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
    }
    view_ = Named(new TrendChartView(chart_, *this), "chtTrend");
    view_->setAccessibleName("Chart");
    view_->setFocusPolicy(Qt::StrongFocus);

    grdSeries_ = Named(new QTableWidget(0, ColCount, this), "grdSeries");
    grdSeries_->setAccessibleName("Series");
    for (int c = 0; c < ColCount; ++c)
        grdSeries_->setHorizontalHeaderItem(c, new QTableWidgetItem(ColumnCaptions[c]));
    grdSeries_->verticalHeader()->hide();
    grdSeries_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grdSeries_->setEditTriggers(QAbstractItemView::DoubleClicked |
                                QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::AnyKeyPressed);
    connect(grdSeries_, &QTableWidget::itemChanged, this, &TrendWindow::OnTableChanged);

    auto* split = Named(new QSplitter(this), "splTrend");
    split->addWidget(view_);
    split->addWidget(grdSeries_);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setChildrenCollapsible(false);
    view_->setMinimumWidth(420);
    split->setSizes({620, 480});
    lblStatus_ = Named(new QLabel(this), "lblStatus");
    auto* central = Named(new QWidget(this), "pnlTrend");
    setCentralWidget(central);
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    layout->addWidget(lblStatus_);
}

void TrendWindow::ReadingDone(const ReadingDoneEvent& event) {
    if (!live_ || !event.TaskRecord) return;
    if (feed_.Add(event.TaskNumber, event.Stamp, *event.TaskRecord)) Refresh();
}

void TrendWindow::FollowTask(int task) {
    live_ = true;
    zoom_.reset();
    feed_.Follow(task);
    const int i = cboTask_->findData(task);
    if (i >= 0) cboTask_->setCurrentIndex(i);
    setWindowTitle(QString("Trend - Task %1").arg(task));
    Refresh();
}

bool TrendWindow::OpenFile(const std::string& path) {
    trend::FileSummary summary;
    std::string error;
    if (!trend::ReadTrendFile(path, model_, summary, error)) {
        Complain(error);
        return false;
    }
    live_ = false;
    zoom_.reset();
    Refresh();
    QString status =
        QString("%1: %2 records").arg(QFileInfo(Q(path)).fileName()).arg(summary.Records);
    if (summary.Malformed > 0)
        status += QString(", %1 malformed lines skipped").arg(summary.Malformed);
    lblStatus_->setText(status);
    setWindowTitle("Trend - " + QFileInfo(Q(path)).fileName());
    return true;
}

bool TrendWindow::SaveImage(const std::string& path) {
    if (view_->grab().save(Q(path), "PNG")) return true;
    Complain("Cannot write the image " + path);
    return false;
}

bool TrendWindow::Export(const std::string& path) {
    const auto [from, to] = ShownSpan();
    std::string error;
    if (trend::ExportShown(model_, from, to, path, error)) return true;
    Complain("Cannot export to " + path + " : " + error);
    return false;
}

void TrendWindow::Complain(const std::string& text) {
    app_.App().Ui.MessageBox(text, "Pelkor", MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
}

std::pair<double, double> TrendWindow::ShownSpan() const {
    if (zoom_) return *zoom_;
    const bool time = model_.Axis() == trend::AxisKind::Time;
    double from = model_.FirstX(), to = model_.LastX();
    const double seconds = Spans[std::max(cboSpan_->currentIndex(), 0)].Seconds;
    if (time && seconds > 0) from = to - seconds;
    if (to - from <= 0) {
        const double half = time ? 30 : 0.5;
        from -= half;
        to += half;
    }
    return {from, to};
}

void TrendWindow::SetZoom(std::optional<std::pair<double, double>> range) {
    if (range && !(range->second > range->first)) return;
    zoom_ = range;
    Refresh();
}

QString TrendWindow::ValuesText(double x) const {
    if (model_.Empty()) return {};
    const std::size_t row = model_.NearestRow(x);
    QString text = Q(trend::XText(model_.Axis(), model_.X(row)));
    for (std::size_t s = 0; s < model_.SeriesCount(); ++s) {
        const trend::Series& series = model_.At(s);
        if (!series.Visible) continue;
        const double v = series.Values[row];
        text += "\n" + Q(series.Name) + ": " + (std::isnan(v) ? QString("missing") : ValueText(v));
    }
    return text;
}

namespace {

double ToChart(trend::AxisKind axis, double x) {
    return axis == trend::AxisKind::Time ? x * 1000 : x;
}
double FromChart(trend::AxisKind axis, double v) {
    return axis == trend::AxisKind::Time ? v / 1000 : v;
}

} // namespace

// Ends on round numbers, so the labels read well and a live trend keeps its
// scale (and the chart its layout) while new values stay inside it.
static void SetNiceRange(QValueAxis* axis, double lo, double hi) {
    const double raw = (hi - lo) / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double unit = raw / power;
    const double step = (unit <= 1 ? 1 : unit <= 2 ? 2 : unit <= 5 ? 5 : 10) * power;
    lo = std::floor(lo / step) * step;
    hi = std::ceil(hi / step) * step;
    const int ticks = static_cast<int>(std::lround((hi - lo) / step)) + 1;
    if (axis->tickCount() != ticks) axis->setTickCount(ticks);
    if (axis->min() != lo || axis->max() != hi) axis->setRange(lo, hi);
}

void TrendWindow::Refresh() {
    // Our own axis changes are no zoom of the user's.
    const QScopedValueRollback<bool> drawing(drawing_, true);
    std::vector<std::string> names;
    for (std::size_t s = 0; s < model_.SeriesCount(); ++s)
        names.push_back(model_.At(s).Name);
    if (names != shownNames_ || model_.Axis() != shownAxis_ || !xAxis_) {
        shownNames_ = std::move(names);
        shownAxis_ = model_.Axis();
        RebuildSeries();
    }
    const auto [from, to] = ShownSpan();
    // Two points (min and max) per two pixels: what a line can show.
    const int buckets = std::max(100, static_cast<int>(chart_->plotArea().width() / 2));
    const double inf = std::numeric_limits<double>::infinity();
    double lo[2] = {inf, inf}, hi[2] = {-inf, -inf};
    for (std::size_t s = 0; s < model_.SeriesCount(); ++s) {
        const int a = model_.At(s).SecondAxis ? 1 : 0;
        DrawSeries(s, from, to, buckets, lo[a], hi[a]);
    }
    UpdateAxes(from, to, lo, hi);
    UpdateTable();
    if (live_) {
        const QString task = cboTask_->currentText().section(" - ", 0, 0);
        lblStatus_->setText(model_.Empty()
                                ? task + ": waiting for readings"
                                : QString("%1: %2 readings").arg(task).arg(model_.Rows()));
    }
}

void TrendWindow::RebuildSeries() {
    chart_->removeAllSeries();
    pieces_.assign(model_.SeriesCount(), {});
    if (xAxis_) {
        chart_->removeAxis(xAxis_);
        delete xAxis_;
    }
    if (model_.Axis() == trend::AxisKind::Time) {
        auto* axis = new QDateTimeAxis;
        connect(axis, &QDateTimeAxis::rangeChanged, this, &TrendWindow::OnAxisRange);
        xAxis_ = axis;
    } else {
        auto* axis = new QValueAxis;
        axis->setLabelFormat("%.0f");
        axis->setTitleText("Record");
        connect(axis, &QValueAxis::rangeChanged, this, &TrendWindow::OnAxisRange);
        xAxis_ = axis;
    }
    chart_->addAxis(xAxis_, Qt::AlignBottom);

    const QSignalBlocker block(grdSeries_);
    grdSeries_->setRowCount(static_cast<int>(model_.SeriesCount()));
    for (std::size_t s = 0; s < model_.SeriesCount(); ++s) {
        const trend::Series& series = model_.At(s);
        const int r = static_cast<int>(s);
        auto cell = [&](int c, const QString& text, bool editable) {
            auto* item = new QTableWidgetItem(text);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable |
                           (editable ? Qt::ItemIsEditable : Qt::NoItemFlags));
            grdSeries_->setItem(r, c, item);
            return item;
        };
        auto check = [&](int c, bool on, const QString& name) {
            QTableWidgetItem* item = cell(c, QString(), false);
            item->setData(Qt::AccessibleTextRole, name);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        };
        check(ColShown, series.Visible, "Shown");
        cell(ColColour, SwatchOf(s).Name, false)->setData(Qt::DecorationRole, SwatchOf(s).Colour);
        cell(ColName, Q(series.Name), false);
        for (int c : {ColLast, ColMin, ColMax})
            cell(c, QString(), false);
        check(ColAxis2, series.SecondAxis, "Axis 2");
        cell(ColScale, Q(NumberText(series.Scale)), true);
        cell(ColOffset, Q(NumberText(series.Offset)), true);
    }
}

void TrendWindow::DrawSeries(std::size_t s, double from, double to, int buckets, double& lo,
                             double& hi) {
    const trend::Series& series = model_.At(s);
    std::vector<QLineSeries*>& pieces = pieces_[s];
    QValueAxis* y = yAxis_[series.SecondAxis ? 1 : 0];
    std::size_t used = 0;
    QList<QPointF> run;
    auto flush = [&] {
        if (run.isEmpty()) return;
        if (used == pieces.size()) {
            auto* piece = new QLineSeries;
            piece->setPen(QPen(SwatchOf(s).Colour, 1));
            chart_->addSeries(piece);
            piece->attachAxis(xAxis_);
            piece->attachAxis(y);
            pieces.push_back(piece);
        }
        QLineSeries* piece = pieces[used++];
        if (!piece->attachedAxes().contains(y)) {
            piece->detachAxis(yAxis_[series.SecondAxis ? 0 : 1]);
            piece->attachAxis(y);
        }
        piece->replace(run);
        piece->setPointsVisible(run.size() == 1); // a lone value between gaps
        piece->setVisible(true);
        run.clear();
    };
    if (series.Visible) {
        const trend::AxisKind axis = model_.Axis();
        for (const trend::Point& p : model_.Reduced(s, from, to, buckets)) {
            if (std::isnan(p.Y)) {
                flush();
                continue;
            }
            const double v = series.Drawn(p.Y);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            run.append(QPointF(ToChart(axis, p.X), v));
        }
        flush();
    }
    for (std::size_t i = used; i < pieces.size(); ++i) {
        if (!pieces[i]->isVisible()) continue;
        pieces[i]->clear();
        pieces[i]->setVisible(false);
    }
}

void TrendWindow::UpdateAxes(double from, double to, const double lo[2], const double hi[2]) {
    const trend::AxisKind axis = model_.Axis();
    if (auto* t = qobject_cast<QDateTimeAxis*>(xAxis_)) {
        t->setFormat(to - from > 86400 ? "MM-dd hh:mm" : "hh:mm:ss");
        t->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ToChart(axis, from))),
                    QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ToChart(axis, to))));
    } else if (auto* v = qobject_cast<QValueAxis*>(xAxis_)) {
        v->setRange(from, to);
    }
    for (int a = 0; a < 2; ++a) {
        double l = lo[a], h = hi[a];
        if (l > h) l = 0, h = 1;
        const double margin = h > l ? (h - l) * 0.05 : std::max(std::fabs(h) * 0.05, 1.0);
        SetNiceRange(yAxis_[a], l - margin, h + margin);
    }
    yAxis_[1]->setVisible(lo[1] <= hi[1]);
}

void TrendWindow::UpdateTable() {
    const QSignalBlocker block(grdSeries_);
    for (std::size_t s = 0;
         s < model_.SeriesCount() && static_cast<int>(s) < grdSeries_->rowCount(); ++s) {
        const trend::Series& series = model_.At(s);
        const int r = static_cast<int>(s);
        grdSeries_->item(r, ColLast)->setText(ValueText(series.Last));
        grdSeries_->item(r, ColMin)->setText(ValueText(series.Extremes.Min()));
        grdSeries_->item(r, ColMax)->setText(ValueText(series.Extremes.Max()));
    }
}

void TrendWindow::OnTableChanged(QTableWidgetItem* item) {
    const std::size_t s = static_cast<std::size_t>(item->row());
    if (s >= model_.SeriesCount()) return;
    trend::Series& series = model_.At(s);
    switch (item->column()) {
    case ColShown:
        series.Visible = item->checkState() == Qt::Checked;
        break;
    case ColAxis2:
        series.SecondAxis = item->checkState() == Qt::Checked;
        break;
    case ColScale:
    case ColOffset: {
        double& field = item->column() == ColScale ? series.Scale : series.Offset;
        const std::string text = item->text().trimmed().toStdString();
        if (IsNumeric(text)) field = LeadingNumber(text);
        const QSignalBlocker block(grdSeries_);
        item->setText(Q(NumberText(field))); // a text that is no number is put back
        break;
    }
    default:
        return;
    }
    Refresh();
}

void TrendWindow::OnAxisRange() {
    if (drawing_ || rangePending_) return;
    rangePending_ = true;
    QTimer::singleShot(0, this, &TrendWindow::ApplyAxisRange);
}

void TrendWindow::ApplyAxisRange() {
    rangePending_ = false;
    if (!xAxis_) return;
    // A rubber band or the chart's own zoom moved the axis: draw that span
    // anew from the model, at its own resolution.
    const trend::AxisKind axis = model_.Axis();
    double from = 0, to = 0;
    if (auto* t = qobject_cast<QDateTimeAxis*>(xAxis_)) {
        from = FromChart(axis, static_cast<double>(t->min().toMSecsSinceEpoch()));
        to = FromChart(axis, static_cast<double>(t->max().toMSecsSinceEpoch()));
    } else if (auto* v = qobject_cast<QValueAxis*>(xAxis_)) {
        from = v->min();
        to = v->max();
    }
    const auto [shownFrom, shownTo] = ShownSpan();
    const double tolerance = (shownTo - shownFrom) * 1e-6;
    if (std::fabs(from - shownFrom) <= tolerance && std::fabs(to - shownTo) <= tolerance) return;
    SetZoom(std::make_pair(from, to));
}

void TrendWindow::OnOpen() {
    const QString path = QFileDialog::getOpenFileName(this, "Open", Q(app_.App().UserDataFolder),
                                                      "Pelkor files (*.csv *.xls);;All files (*)");
    if (!path.isEmpty()) OpenFile(path.toStdString());
}

void TrendWindow::OnSaveImage() {
    const QString path = QFileDialog::getSaveFileName(
        this, "Save image", Q(app_.App().UserDataFolder) + "/trend.png", "PNG images (*.png)");
    if (!path.isEmpty()) SaveImage(path.toStdString());
}

void TrendWindow::OnExport() {
    const QString path = QFileDialog::getSaveFileName(
        this, "Export", Q(app_.App().UserDataFolder) + "/trend.csv", "CSV files (*.csv)");
    if (!path.isEmpty()) Export(path.toStdString());
}

void ShowTrendWindow(PelkorApp& app, QWidget* mainWindow) {
    auto* w = mainWindow->findChild<TrendWindow*>("frmTrend", Qt::FindDirectChildrenOnly);
    if (!w) {
        w = new TrendWindow(app, mainWindow);
        w->setAttribute(Qt::WA_DeleteOnClose);
    }
    w->show();
    w->raise();
    w->activateWindow();
}

} // namespace pelkor

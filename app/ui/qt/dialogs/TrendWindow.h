#pragma once
// frmTrend: the values of a task plotted as its readings land, or of a file
// Pelkor wrote. Not modal; it only observes the readings, so closing it
// changes nothing else. The logic lives in app/trend; this is the view.

#include <QMainWindow>
#include <optional>
#include <utility>
#include <vector>

#include "tasks/ReadingEvents.h"
#include "trend/TrendSources.h"

class QChart;
class QComboBox;
class QLabel;
class QLineSeries;
class QTableWidget;
class QTableWidgetItem;
class QAbstractAxis;
class QValueAxis;

namespace pelkor {

class PelkorApp;
class TrendChartView;

// A main window of its own, so assistive technology sees a frame.
class TrendWindow : public QMainWindow, public ReadingObserver {
    Q_OBJECT
public:
    explicit TrendWindow(PelkorApp& app, QWidget* parent = nullptr);
    ~TrendWindow() override;

    void ReadingDone(const ReadingDoneEvent& event) override;

    // Live view of a task (1-based), or of a file; false with a message box
    // when the file cannot be plotted (the trend stays as it was).
    void FollowTask(int task);
    bool OpenFile(const std::string& path);
    bool SaveImage(const std::string& path);
    bool Export(const std::string& path);

    // Redraws the shown span from the model.
    void Refresh();
    // A zoom of the time axis (in model units); nullopt: the chosen span.
    void SetZoom(std::optional<std::pair<double, double>> range);
    std::pair<double, double> ShownSpan() const;
    const trend::TrendModel& Model() const { return model_; }
    trend::TrendModel& Model() { return model_; }
    // The text of the tool tip at x (model units).
    QString ValuesText(double x) const;

private:
    void BuildControls();
    void RebuildSeries();
    void DrawSeries(std::size_t s, double from, double to, int buckets, double& lo, double& hi);
    void UpdateAxes(double from, double to, const double lo[2], const double hi[2]);
    void UpdateTable();
    void OnTableChanged(QTableWidgetItem* item);
    void OnOpen();
    void OnSaveImage();
    void OnExport();
    void OnAxisRange();
    void ApplyAxisRange();
    void Complain(const std::string& text);

    PelkorApp& app_;
    trend::TrendModel model_;
    trend::LiveFeed feed_;
    bool live_ = true;
    std::optional<std::pair<double, double>> zoom_;
    bool drawing_ = false;
    bool rangePending_ = false;
    QComboBox* cboTask_ = nullptr;
    QComboBox* cboSpan_ = nullptr;
    QLabel* lblStatus_ = nullptr;
    QTableWidget* grdSeries_ = nullptr;
    TrendChartView* view_ = nullptr;
    QChart* chart_ = nullptr;
    QAbstractAxis* xAxis_ = nullptr;
    QValueAxis* yAxis_[2] = {nullptr, nullptr};
    // The line pieces of each series between its gaps.
    std::vector<std::vector<QLineSeries*>> pieces_;
    std::vector<std::string> shownNames_;
    trend::AxisKind shownAxis_ = trend::AxisKind::Time;
};

// Opens the trend window of the main window, or raises the open one.
void ShowTrendWindow(PelkorApp& app, QWidget* mainWindow);

} // namespace pelkor

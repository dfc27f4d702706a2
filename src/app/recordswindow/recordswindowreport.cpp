// The Records window's exposure summary and report.
#include "app/recordswindow/exposuretable.h"
#include "app/recordswindow/recordreport.h"
#include "app/recordswindow/recordschartview.h"
#include "app/recordswindow/recordswindow.h"

#include <QFileInfo>
#include <cmath>

namespace {

// A zoom or pan draws a frame every few milliseconds: the summary is worked out once it pauses.
constexpr int kExposureSettleMs = 150;

} // namespace

void RecordsWindow::buildExposureTable(QWidget* parent) {
    m_exposure = new ExposureTable(parent);
    m_exposureTimer.setSingleShot(true);
    m_exposureTimer.setInterval(kExposureSettleMs);
    connect(&m_exposureTimer, &QTimer::timeout, this, &RecordsWindow::showExposure);
    connect(m_chart, &RecordsChartView::viewChanged, &m_exposureTimer, qOverload<>(&QTimer::start));
}

void RecordsWindow::showExposure() {
    if (!m_shape) {
        m_exposure->setRows({});
        return;
    }
    const auto [from, to] = m_chart->timeRange();
    m_exposure->setRows(
        summarizeExposure(*m_shape, RecordTime(std::floor(from)), RecordTime(std::ceil(to))));
}

bool RecordsWindow::exportReport(const QString& path, QString& failure) {
    if (!m_shape) {
        failure = QStringLiteral("Nothing to report yet.");
        return false;
    }
    RecordReport report;
    report.workbook = QFileInfo(m_shownPath).fileName();
    report.shape = m_shape.get();
    std::tie(report.from, report.to) = m_chart->timeRange();
    report.rows = summarizeExposure(*m_shape, RecordTime(std::floor(report.from)),
                                    RecordTime(std::ceil(report.to)));
    return writeRecordReport(path, report, *m_chart, failure);
}

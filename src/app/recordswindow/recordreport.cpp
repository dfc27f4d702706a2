#include "app/recordswindow/recordreport.h"

#include "app/recordswindow/exposuretable.h"
#include "app/recordswindow/recordschartview.h"
#include "records/recordshape.h"
#include "spreadsheet/safefilewrite.h"

#include <QBuffer>
#include <QDir>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <cmath>

namespace {

// Page coordinates in pixels of a 96 dpi screen, so that the chart keeps its proportions and
// line widths as drawn in the window.
constexpr int kResolution = 96;
constexpr qreal kGap = 12;

QString levelText(const std::optional<double>& level) {
    return level ? exposureNumber(*level) : QStringLiteral("not known");
}

QString cell(const QString& text, const char* tag = "td") {
    return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), text.toHtmlEscaped());
}

QString numberCell(const QString& text) {
    return QStringLiteral("<td align=\"right\">%1</td>").arg(text.toHtmlEscaped());
}

// The summary's columns from "Records" on hold numbers.
constexpr int kFirstNumberColumn = 4;

QString headingHtml(const RecordReport& report) {
    QString html = QStringLiteral("<h2>Records of %1</h2>").arg(report.workbook.toHtmlEscaped());
    html += QStringLiteral("<p>From %1 to %2 (the instrument's clock).</p>")
                .arg(recordTimeText(RecordTime(std::floor(report.from))),
                     recordTimeText(RecordTime(std::ceil(report.to))));
    html += QStringLiteral("<h3>Instrument configuration</h3>"
                           "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\"><tr>");
    for (const char* caption : {"Channel", "Gas", "Unit", "Low alarm", "High alarm"}) {
        html += cell(QString::fromLatin1(caption), "th");
    }
    html += QStringLiteral("</tr>");
    for (const RecordSeries& s : report.shape->series) {
        html += QStringLiteral("<tr>") + cell(QStringLiteral("CH%1").arg(s.channel)) + cell(s.gas) +
                cell(s.unit) + cell(levelText(s.lowAlarm)) + cell(levelText(s.highAlarm)) +
                QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QString summaryHtml(const RecordReport& report) {
    QString html = QStringLiteral("<h3>Exposure summary</h3>"
                                  "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\"><tr>");
    for (const QString& caption : ExposureTable::captions()) {
        html += cell(caption, "th");
    }
    html += QStringLiteral("</tr>");
    for (const ExposureRow& row : report.rows) {
        html += QStringLiteral("<tr>");
        const QStringList texts = ExposureTable::cellTexts(row);
        for (qsizetype c = 0; c < texts.size(); ++c) {
            html += c >= kFirstNumberColumn ? numberCell(texts[c]) : cell(texts[c]);
        }
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table><p>TWA 8 h: each reading held until the next record, at most "
                           "the day's median record interval (a longer pause counts as no "
                           "exposure), summed and divided by eight hours. STEL 15 min: the "
                           "highest mean over 15 minutes that start at a record. Minutes at or "
                           "above the alarm levels where the levels are known.</p>");
    return html;
}

// Draws the document from `top` on, page after page.
void drawFlowing(QPainter& painter, QPdfWriter& writer, QTextDocument& document, qreal top) {
    const QRectF page = writer.pageLayout().paintRectPixels(kResolution);
    const qreal pageHeight = page.height();
    document.setTextWidth(page.width());
    qreal shown = 0;
    qreal room = pageHeight - top;
    while (shown < document.size().height()) {
        painter.save();
        painter.translate(0, top - shown);
        document.drawContents(&painter, QRectF(0, shown, page.width(), room));
        painter.restore();
        shown += room;
        if (shown < document.size().height()) {
            writer.newPage();
            top = 0;
            room = pageHeight;
        }
    }
}

} // namespace

bool writeRecordReport(const QString& path, const RecordReport& report, RecordsChartView& chart,
                       QString& failure) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kResolution);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        writer.setTitle(QStringLiteral("Records of %1").arg(report.workbook));
        writer.setCreator(QStringLiteral("Trellmo"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            failure = QStringLiteral("The report could not be drawn as PDF.");
            return false;
        }
        const QRectF page = writer.pageLayout().paintRectPixels(kResolution);
        QTextDocument heading;
        heading.setHtml(headingHtml(report));
        heading.setTextWidth(page.width());
        heading.drawContents(&painter);
        const qreal chartTop = heading.size().height() + kGap;
        chart.render(&painter, QRectF(0, chartTop, page.width(), page.height() - chartTop));
        writer.newPage();
        QTextDocument summary;
        summary.setHtml(summaryHtml(report));
        drawFlowing(painter, writer, summary, 0);
        painter.end();
    }
    QString reason;
    if (!safefilewrite::replaceFile(path, bytes, reason)) {
        failure = QStringLiteral("The report could not be saved as %1: %2")
                      .arg(QDir::toNativeSeparators(path), reason);
        return false;
    }
    return true;
}

#include "app/shell/reportcommand.h"

#include "app/recordswindow/recordreport.h"
#include "app/recordswindow/recordschartview.h"
#include "buildinfo.h"
#include "records/exposurecsv.h"
#include "records/recordshape.h"
#include "records/recordsheet.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kWritten = 0;
constexpr int kNotWritten = 1;
constexpr int kWrongInput = 2;
// The chart as a window of this size shows it.
constexpr int kChartWidth = 1100;
constexpr int kChartHeight = 640;

int fail(int status, const QString& reason) {
    QString line = reason.simplified();
    std::fprintf(stderr, "trellmo: %s\n", qPrintable(line));
    return status;
}

int writePdf(const QString& workbook, const QString& output, const RecordShape& shape) {
    RecordsChartView chart;
    chart.setAttribute(Qt::WA_DontShowOnScreen);
    chart.resize(kChartWidth, kChartHeight);
    chart.show(); // lays the chart out
    chart.setShape(&shape);
    QCoreApplication::processEvents();
    RecordReport report;
    report.workbook = QFileInfo(workbook).fileName();
    report.shape = &shape;
    report.from = double(shape.firstTime);
    report.to = double(shape.lastTime);
    report.rows = summarizeExposure(shape);
    QString failure;
    const bool written = writeRecordReport(output, report, chart, failure);
    chart.setShape(nullptr);
    return written ? kWritten : fail(kNotWritten, failure);
}

// Standard error carries the one line of a failure that scripts read; Qt's notes about the
// platform (no runtime folder, no window manager offscreen) are no failure of the report.
void keepQtNotesOffStandardError(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "trellmo: %s\n", qPrintable(text.simplified()));
    }
}

} // namespace

bool isReportCommand(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--report") == 0 || std::strncmp(argv[i], "--report=", 9) == 0) {
            return true;
        }
    }
    return false;
}

int runReportCommand(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qInstallMessageHandler(keepQtNotesOffStandardError);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trellmo"));
    QApplication::setApplicationVersion(trellmoVersion());
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the exposure report of a day workbook: PDF with the chart, or CSV."));
    parser.addHelpOption();
    const QCommandLineOption reportOption(QStringLiteral("report"),
                                          QStringLiteral("The day workbook to report on."),
                                          QStringLiteral("workbook"));
    const QCommandLineOption outputOption(
        QStringLiteral("output"), QStringLiteral("The report to write: a .pdf or a .csv file."),
        QStringLiteral("file"));
    parser.addOption(reportOption);
    parser.addOption(outputOption);
    if (!parser.parse(QCoreApplication::arguments())) {
        return fail(kWrongInput, parser.errorText());
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(parser.helpText()));
        return kWritten;
    }
    const QString workbook = parser.value(reportOption);
    const QString output = parser.value(outputOption);
    const QString kind = QFileInfo(output).suffix().toLower();
    if (output.isEmpty() || (kind != QLatin1String("pdf") && kind != QLatin1String("csv"))) {
        return fail(kWrongInput, QStringLiteral("--report needs --output FILE.pdf or FILE.csv"));
    }
    const RecordSheetRead read = readRecordSheet(workbook);
    if (!read.sheet) {
        return fail(kWrongInput, QStringLiteral("%1 is no day workbook: %2")
                                     .arg(QDir::toNativeSeparators(workbook), read.problem));
    }
    const RecordShape shape = shapeRecords(*read.sheet);
    if (shape.series.empty()) {
        return fail(kWrongInput,
                    QStringLiteral("%1 holds no readings").arg(QDir::toNativeSeparators(workbook)));
    }
    if (kind == QLatin1String("csv")) {
        QString failure;
        return writeExposureCsv(summarizeExposure(shape), output, failure)
                   ? kWritten
                   : fail(kNotWritten, failure);
    }
    return writePdf(workbook, output, shape);
}

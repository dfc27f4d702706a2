// "trellmo --report" run as a script runs it: the CSV of a known day workbook read back, the
// PDF's summary table read by pdftotext, the workbook left as it was, and a file that is no
// day workbook refused with one line and exit status 2.
#include "recordbooks.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

struct Finished {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Without a display, as a scheduled job runs it.
Finished trellmo(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TRELLMO_BINARY_DIR "/src/app/trellmo"), arguments);
    if (!process.waitForFinished(60000)) {
        return {};
    }
    Finished run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Every 10 s from 23:40:00 to 00:19:50, twenty minutes on each side of midnight. CO reads 10
// throughout; H2S reads 5 from 00:00:00 to 00:04:50 and 0 otherwise; O2 20.9; EX 0 with every
// tenth reading "----".
QList<QStringList> midnightDay() {
    QList<QStringList> rows{recordCaptions(4)};
    for (int n = 0; n < 240; ++n) {
        const int seconds = (23 * 3600 + 40 * 60 + 10 * n) % 86400;
        const QString time = QString::asprintf("2025-03-%02d  %02d:%02d:%02d", n < 120 ? 7 : 8,
                                               seconds / 3600, seconds / 60 % 60, seconds % 60);
        const bool h2s = n >= 120 && n < 150;
        rows << recordRow(time,
                          {{QStringLiteral("CO      "), QStringLiteral(" 10.0"), "PPM"},
                           {QStringLiteral("H2S     "),
                            h2s ? QStringLiteral("  5.0") : QStringLiteral("  0.0"), "PPM"},
                           {QStringLiteral("O2      "), QStringLiteral(" 20.9"), "%VOL"},
                           {QStringLiteral("EX      "),
                            n % 10 == 9 ? QStringLiteral("----") : QStringLiteral("  0"), "%LEL"}});
    }
    return rows;
}

// Worked out by hand: CO held 1200 s at 10 PPM a day gives 10 x 1200 / 28800; H2S 300 s at 5
// gives 5 x 300 / 28800 and a 15-minute mean of 5 x 300 / 900 from midnight on.
const char kExpectedCsv[] = "date,channel,gas,unit,records,min,max,mean,twa_8h,stel_15min,"
                            "minutes_above_low,minutes_above_high\r\n"
                            "2025-03-07,1,CO,PPM,120,10,10,10,0.417,10,,\r\n"
                            "2025-03-07,2,H2S,PPM,120,0,0,0,0,0,,\r\n"
                            "2025-03-07,3,O2,%VOL,120,20.9,20.9,20.9,,,,\r\n"
                            "2025-03-07,4,EX,%LEL,108,0,0,0,,,,\r\n"
                            "2025-03-08,1,CO,PPM,120,10,10,10,0.417,10,,\r\n"
                            "2025-03-08,2,H2S,PPM,120,0,5,1.25,0.052,1.667,,\r\n"
                            "2025-03-08,3,O2,%VOL,120,20.9,20.9,20.9,,,,\r\n"
                            "2025-03-08,4,EX,%LEL,108,0,0,0,,,,\r\n";

} // namespace

TEST(ReportCommand, WritesTheSummaryAsCsvAndPdfAndLeavesTheWorkbookAsItWas) {
    QTemporaryDir dir;
    const QString book = dir.filePath(QStringLiteral("C4-25-03-07.xls"));
    ASSERT_EQ(writeWorkbook(book, midnightDay()), QString());
    const FileState before = stateOf(book);
    QThread::msleep(20); // a write would show in the change time

    const QString csv = dir.filePath(QStringLiteral("summary.csv"));
    Finished run = trellmo({QStringLiteral("--report"), book, QStringLiteral("--output"), csv});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.err, QByteArray());
    EXPECT_EQ(bytesOf(csv), QByteArray(kExpectedCsv));

    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    run = trellmo({QStringLiteral("--report"), book, QStringLiteral("--output"), pdf});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    EXPECT_TRUE(bytesOf(pdf).startsWith("%PDF-"));
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, "-"});
    ASSERT_TRUE(pdftotext.waitForFinished(30000));
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    EXPECT_TRUE(text.contains(QStringLiteral("Records of C4-25-03-07.xls")));
    EXPECT_TRUE(text.simplified().contains(
        QStringLiteral("From 2025-03-07 23:40:00 to 2025-03-08 00:19:50")))
        << qPrintable(text);
    // Each row of the CSV is a line of the PDF's table, with its figures in order.
    QStringList lines = text.split(u'\n');
    for (QString& line : lines) {
        line = line.simplified();
    }
    const QStringList csvRows = QString::fromLatin1(kExpectedCsv).split(QStringLiteral("\r\n"));
    for (qsizetype r = 1; r + 1 < csvRows.size(); ++r) {
        QStringList fields = csvRows[r].split(u',');
        fields[1] = QStringLiteral("CH") + fields[1];
        fields.removeAll(QString());
        EXPECT_TRUE(lines.contains(fields.join(u' '))) << qPrintable(fields.join(u' '));
    }
    // The value and time axes are drawn as text.
    EXPECT_TRUE(text.contains(QStringLiteral("CH2 H2S PPM")));
    EXPECT_TRUE(text.contains(QStringLiteral("00:00")));

    EXPECT_TRUE(stateOf(book) == before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

TEST(ReportCommand, AFileThatIsNoDayWorkbookIsRefusedInOneLine) {
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("notes.xls"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Time,CH1 Gas\n");
    file.close();
    const QString other = dir.filePath(QStringLiteral("other.xls"));
    ASSERT_EQ(writeWorkbook(other, {{QStringLiteral("Name"), QStringLiteral("Value")}},
                            QStringLiteral("Sheet1")),
              QString());
    for (const QString& input : {text, other, dir.filePath(QStringLiteral("missing.xls"))}) {
        const QString csv = dir.filePath(QStringLiteral("summary.csv"));
        const Finished run =
            trellmo({QStringLiteral("--report"), input, QStringLiteral("--output"), csv});
        EXPECT_EQ(run.status, 2) << qPrintable(input);
        EXPECT_TRUE(run.err.startsWith("trellmo: ")) << run.err.constData();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.constData();
        EXPECT_FALSE(QFile::exists(csv));
    }
    EXPECT_EQ(bytesOf(text), QByteArray("Time,CH1 Gas\n"));
}

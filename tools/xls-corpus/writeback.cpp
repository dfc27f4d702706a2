// Writes one workbook of the corpus back the ways the program does, each on a copy of its own:
//   gastype  the Gas Type save (SaveGasList): sheet "GasType" gets its 21 numbered names,
//            added to the book when it has no such sheet;
//   update   a worksheet ("Storage" when there is one, else the first) gets cell A2 changed
//            and a row appended, through CWorkbook as the record export does.
// Usage: xls_corpus_writeback FILE WORKDIR. For each way it prints one line
//   file <TAB> way <TAB> outcome <TAB> reason <TAB> written copy <TAB> expectations
// with outcome "written", "unchanged" (nothing written), "refused" (the file is as it was) or
// "error" (refused, yet the file changed). The expectations file lists what the checkers
// (check_xlrd.py, PoiCheck.java) must find in the written copy: "cell sheet row column text"
// (rows and columns from 0), "own sheet" for the sheet the write-back rebuilt and "new sheet"
// for a sheet it may add.
#include "gastype/gasliststate.h"
#include "gastype/gasnametable.h"
#include "spreadsheet/workbook.h"
#include "spreadsheet/workbooklock.h"
#include "spreadsheet/workbookstore.h"
#include "spreadsheet/xls/xlsbook.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>
#include <exception>

namespace {

struct Expectation {
    QString own;
    QStringList added;
    QList<std::tuple<QString, int, int, QString>> cells;
};

struct Outcome {
    QString outcome;
    QString reason;
};

QString oneLine(QString text) {
    return text.replace(QLatin1Char('\t'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1Char('\r'), QLatin1Char(' '))
        .trimmed();
}

QString escaped(QString text) {
    return text.replace(QLatin1String("\\"), QLatin1String("\\\\"))
        .replace(QLatin1Char('\t'), QLatin1String("\\t"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The names a user might give: plain, Unicode outside Latin-1 and beyond the BMP, quotes,
// an empty name and one longer than a short string record.
QStringList gasNames() {
    QStringList names;
    const QStringList samples{QStringLiteral("Methane CH4"),      QStringLiteral("Ammonia NH₃"),
                              QStringLiteral("二氧化碳"),         QStringLiteral("O'Brien's mix"),
                              QStringLiteral("Freon \"R22\""),    QString(),
                              QStringLiteral("Сероводород"),      QStringLiteral("Gas 😀 test"),
                              QStringLiteral("Hydrogen; H2, 4%"), QString(300, QChar(u'x'))};
    for (int i = 0; i < kGasListRows; ++i) {
        names << (i < samples.size() ? samples[i] : QStringLiteral("Corpus gas %1").arg(i + 1));
    }
    return names;
}

Outcome runGasType(const QString& path, Expectation& expect, bool hadGasSheet) {
    UserGases gases;
    gases.list.edited = true;
    const QStringList names = gasNames();
    QString failure;
    if (!SaveGasList(names, path, gases, &failure)) {
        return {QStringLiteral("refused"), failure};
    }
    expect.own = QStringLiteral("GasType");
    if (!hadGasSheet) {
        expect.added << QStringLiteral("GasType");
        expect.cells.append({QStringLiteral("GasType"), 0, 0, QStringLiteral("Number")});
        expect.cells.append({QStringLiteral("GasType"), 0, 1, QStringLiteral("Gas Type")});
    }
    expect.added << QStringLiteral("CWorkbookBackup");
    for (int n = 1; n <= kStoredGasNames; ++n) {
        expect.cells.append({QStringLiteral("GasType"), n, 0, QString::number(n)});
        expect.cells.append(
            {QStringLiteral("GasType"), n, 1, n <= kGasListRows ? names[n - 1] : QString()});
    }
    return {QStringLiteral("written"), QString()};
}

Outcome runUpdate(const QString& path, const QString& sheet, Expectation& expect) {
    CWorkbook book(path, sheet, false);
    book.HoldWrites();
    const QString changed = QStringLiteral("changed ✓ by the corpus run");
    if (book.ColumnCount() == 0) {
        if (!book.SetHeaderRow({QStringLiteral("Time"), QStringLiteral("Gas")}, false)) {
            return {QStringLiteral("refused"), book.lastError()};
        }
        expect.cells.append({sheet, 0, 0, QStringLiteral("Time")});
        expect.cells.append({sheet, 0, 1, QStringLiteral("Gas")});
    } else if (book.RowCount() >= 2) {
        if (!book.PutCellAt(changed, 1, 2)) {
            return {QStringLiteral("refused"), book.lastError()};
        }
        expect.cells.append({sheet, 1, 0, changed});
    }
    QStringList appended{QStringLiteral("2025-03-07  00:00:01"), QStringLiteral("Ünïcödé CO  ")};
    appended = appended.mid(0, std::max<int>(1, book.ColumnCount()));
    if (!book.PutRow(appended, 0, false)) {
        return {QStringLiteral("refused"), book.lastError()};
    }
    for (int c = 0; c < appended.size(); ++c) {
        expect.cells.append({sheet, book.RowCount() - 1, c, appended[c]});
    }
    expect.own = sheet;
    if (!book.WriteBack()) {
        return {QStringLiteral("refused"), book.lastError()};
    }
    return {QStringLiteral("written"), QString()};
}

void writeExpectations(const QString& path, const Expectation& expect) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return;
    }
    QTextStream out(&file);
    if (!expect.own.isEmpty()) {
        out << "own\t" << escaped(expect.own) << '\n';
    }
    for (const QString& sheet : expect.added) {
        out << "new\t" << escaped(sheet) << '\n';
    }
    for (const auto& [sheet, row, column, text] : expect.cells) {
        out << "cell\t" << escaped(sheet) << '\t' << row << '\t' << column << '\t' << escaped(text)
            << '\n';
    }
}

// The worksheets of the file as the program's reader sees them; empty when it cannot read it.
QStringList sheetNames(const QByteArray& file) {
    QStringList names;
    try {
        for (const xls::Sheet& sheet : xls::parse(file).sheets) {
            names << sheet.name;
        }
    } catch (const xls::FormatError&) {
    }
    return names;
}

void runWay(const QString& input, const QString& workDir, const QString& way) {
    const QString dir =
        workDir + QLatin1Char('/') + way + QLatin1Char('/') + QFileInfo(input).completeBaseName();
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    // The Gas Type save works on the parameter workbook's name; the copy keeps its own name
    // for the other way.
    const QString copy = dir + QLatin1Char('/') +
                         (way == QLatin1String("gastype") ? QStringLiteral("parameter1.xls")
                                                          : QFileInfo(input).fileName());
    QFile::remove(copy);
    QFile::copy(input, copy);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray before = bytesOf(copy);
    const QStringList sheets = sheetNames(before);

    Expectation expect;
    Outcome outcome;
    try {
        if (way == QLatin1String("gastype")) {
            outcome = runGasType(copy, expect,
                                 sheets.contains(QStringLiteral("GasType"), Qt::CaseInsensitive));
        } else {
            QString sheet = sheets.isEmpty() ? QStringLiteral("Sheet1") : sheets.front();
            for (const QString& name : sheets) {
                if (name.compare(QLatin1String("Storage"), Qt::CaseInsensitive) == 0) {
                    sheet = name;
                }
            }
            outcome = runUpdate(copy, sheet, expect);
        }
    } catch (const WorkbookConnectError& error) {
        outcome = {QStringLiteral("refused"), QString::fromUtf8(error.what())};
    } catch (const std::exception& error) {
        outcome = {QStringLiteral("error"),
                   QStringLiteral("exception: ") + QString::fromUtf8(error.what())};
    }
    const QByteArray after = bytesOf(copy);
    const QStringList left = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    if (outcome.outcome == QLatin1String("refused") && (after != before || left.size() != 1)) {
        outcome = {QStringLiteral("error"),
                   QStringLiteral("refused, yet the folder changed: ") + outcome.reason};
    }
    if (outcome.outcome == QLatin1String("written") && after == before) {
        outcome.outcome = QStringLiteral("unchanged");
    }
    const QString expectPath = dir + QStringLiteral("/expect.tsv");
    writeExpectations(expectPath, expect);
    std::printf("%s\t%s\t%s\t%s\t%s\t%s\n", qUtf8Printable(input), qUtf8Printable(way),
                qUtf8Printable(outcome.outcome), qUtf8Printable(oneLine(outcome.reason)),
                qUtf8Printable(copy), qUtf8Printable(expectPath));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: xls_corpus_writeback FILE WORKDIR\n");
        return 2;
    }
    const QString input = QFile::decodeName(argv[1]);
    const QString workDir = QFile::decodeName(argv[2]);
    for (const QString& way : {QStringLiteral("gastype"), QStringLiteral("update")}) {
        runWay(input, workDir, way);
    }
    return 0;
}

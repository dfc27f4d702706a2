#include "app/shell/quitsignals.h"
#include "app/shell/reportcommand.h"
#include "app/shell/startfolder.h"
#include "app/shell/trellmoapp.h"

#include <QCommandLineParser>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    // A report needs no window: it is written before any window system is asked for.
    if (isReportCommand(argc, argv)) {
        return runReportCommand(argc, argv);
    }
    CTrellmoApp app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Companion program of a portable gas detector: reads its channel "
                       "configuration and downloads its stored records."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption directory(
        {QStringLiteral("C"), QStringLiteral("directory")},
        QStringLiteral("Work in <folder>, where the gas names are kept (parameter1.xls); \"~\" "
                       "is your home folder. Default: the current folder."),
        QStringLiteral("folder"));
    parser.addOption(directory);
    // Handled by runReportCommand; listed here so that --help shows them.
    parser.addOption(QCommandLineOption(
        QStringLiteral("report"),
        QStringLiteral("Write the exposure report of <workbook> to the --output file (.pdf or "
                       ".csv) and end, without a window."),
        QStringLiteral("workbook")));
    parser.addOption(QCommandLineOption(QStringLiteral("output"),
                                        QStringLiteral("The report file for --report."),
                                        QStringLiteral("file")));
    const QCommandLineOption pace(
        QStringLiteral("pace"),
        QStringLiteral("\"answer\" (default): each request follows the instrument's answer to the "
                       "one before; \"tick\": one request every 50 ms, for an instrument that "
                       "cannot keep up with the line."),
        QStringLiteral("answer|tick"), QStringLiteral("answer"));
    parser.addOption(pace);
    parser.process(app);
    DialogSettings settings;
    if (const QString value = parser.value(pace); value == QLatin1String("tick")) {
        settings.tickPace = true;
    } else if (value != QLatin1String("answer")) {
        std::fprintf(stderr, "trellmo: --pace is \"answer\" or \"tick\", not \"%s\"\n",
                     qPrintable(value));
        return 2;
    }

    if (parser.isSet(directory)) {
        const QString folder = expandStartFolder(parser.value(directory), QDir::homePath());
        if (!QDir::setCurrent(folder)) {
            std::fprintf(stderr, "trellmo: cannot work in %s: no such folder\n",
                         qPrintable(QDir::toNativeSeparators(folder)));
            return 2;
        }
    }

    QuitSignals quitSignals;
    return app.InitInstance(std::move(settings));
}

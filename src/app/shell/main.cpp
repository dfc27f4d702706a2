#include "app/shell/quitsignals.h"
#include "app/shell/reportcommand.h"
#include "app/shell/startfolder.h"
#include "app/shell/trellmoapp.h"
#include "export/recordworkbook.h"
#include "serverarchive/archivesetting.h"
#include "serverarchive/serveropener.h"

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
    const QCommandLineOption archive(
        QStringLiteral("archive"),
        QStringLiteral("Keep the records archive at <location>: \"sqlite:PATH\" for a file on this "
                       "PC, or a PostgreSQL server as a libpq URL, "
                       "\"postgresql://user@host:5432/database?sslmode=verify-full\". The "
                       "password comes from ~/.pgpass (or PGPASSFILE, or a service file), never "
                       "from here. Default: archive= in ~/.config/trellmo/trellmo.conf, else "
                       "trellmo-archive.sqlite beside the day workbooks."),
        QStringLiteral("location"));
    parser.addOption(archive);
    const QCommandLineOption archiveInit(
        QStringLiteral("archive-init"),
        QStringLiteral("Create or upgrade the archive's tables and view, then end: run once by "
                       "the database's administrator, so that day-to-day roles need only "
                       "INSERT and SELECT."));
    parser.addOption(archiveInit);
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

    // Read after -C: a relative sqlite:PATH lies in the folder the program works in.
    const ArchiveChoice choice =
        chooseArchive(parser.value(archive), archiveSettingsFile(),
                      QDir(recordFolder()).filePath(QStringLiteral("trellmo-archive.sqlite")));
    if (!choice.parsed.ok) {
        std::fprintf(stderr, "trellmo: %s\n", qPrintable(choice.parsed.error));
        return 2;
    }
    if (hidePasswordInArguments(choice.parsed.location, argc, argv)) {
        std::fprintf(stderr, "trellmo: the archive URL holds a password; keep it in ~/.pgpass "
                             "instead, where other users of this PC cannot read it\n");
    }
    if (parser.isSet(archiveInit)) {
        const ArchiveStore::Status status = initArchive(choice.parsed.location);
        std::fprintf(status.ok ? stdout : stderr, "%s\n", qPrintable(status.message));
        return status.ok ? 0 : 1;
    }
    settings.archive = choice.parsed.location;

    QuitSignals quitSignals;
    return app.InitInstance(std::move(settings));
}

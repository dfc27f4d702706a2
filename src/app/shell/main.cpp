#include "app/shell/quitsignals.h"
#include "app/shell/startfolder.h"
#include "app/shell/trellmoapp.h"

#include <QCommandLineParser>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
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
    parser.process(app);

    if (parser.isSet(directory)) {
        const QString folder = expandStartFolder(parser.value(directory), QDir::homePath());
        if (!QDir::setCurrent(folder)) {
            std::fprintf(stderr, "trellmo: cannot work in %s: no such folder\n",
                         qPrintable(QDir::toNativeSeparators(folder)));
            return 2;
        }
    }

    QuitSignals quitSignals;
    return app.InitInstance();
}

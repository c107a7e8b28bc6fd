#include "mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstring>

namespace {

// --help and --version are answered without a window, so also where there is
// no display: they need no more than the core application.
bool asksOnlyForInformation(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : { "-h", "--help", "--help-all", "-v", "--version" }) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

// Refuses unknown options, and answers --help and --version, then exits.
void processCommandLine(const QCoreApplication &application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "TagBench : banc d'enseignement et de test des cartes sans contact, sur une carte lecteur CLRC632 "
        "ou sur le banc virtuel (tagbench-sim)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(application);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("tagbench"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAGBENCH_VERSION));
    if (asksOnlyForInformation(argc, argv)) {
        QCoreApplication application(argc, argv);
        processCommandLine(application);
        return 0;
    }
    QApplication application(argc, argv);
    processCommandLine(application);
    QApplication::setStyle(QStringLiteral("Fusion"));
    MainWindow window;
    window.setVisible(true);
    return application.exec();
}

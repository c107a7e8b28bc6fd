#include "mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
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
    // Without a display Qt would abort with a message of its own, in English;
    // say it here, in the user's terms. A platform the user chose (offscreen,
    // vnc) is left alone.
    const bool platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (!platformChosen && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "tagbench : aucun affichage (ni DISPLAY ni WAYLAND_DISPLAY) ; "
                             "TagBench a besoin d'un affichage graphique.\n");
        return 2;
    }
    // A named X display may not answer (an SSH session's stale DISPLAY): the
    // offscreen platform behind xcb lets that be found out without an abort.
    const bool xFallback = !platformChosen && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (xFallback)
        qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
    QApplication application(argc, argv);
    if (xFallback) {
        qunsetenv("QT_QPA_PLATFORM");  // the fallback was ours, not the user's choice
        if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
            std::fprintf(stderr, "tagbench : affichage %s injoignable ; TagBench a besoin d'un affichage graphique.\n",
                         qgetenv("DISPLAY").constData());
            return 2;
        }
    }
    processCommandLine(application);
    QApplication::setStyle(QStringLiteral("Fusion"));
    MainWindow window;
    window.setVisible(true);
    return application.exec();
}

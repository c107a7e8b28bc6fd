// tagbench-tour: a scripted session on TagBench's window over a virtual
// bench in this same process, without a screen, that leaves a picture of each
// page and of the bench's window in a folder. It shows what TagBench does
// where no window can open (a server, a container, a session over SSH), and
// checks on the way that every step gives what it should.

#include "picturefolder.h"
#include "windowtour.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include <cstdio>

namespace {

void say(const QString &line)
{
    std::fprintf(stdout, "%s\n", qPrintable(line));
    std::fflush(stdout);
}

void complain(const QString &line)
{
    std::fprintf(stderr, "tagbench-tour : %s\n", qPrintable(line));
}

QtMessageHandler passOn = nullptr;

// Lines that would only puzzle whoever runs the tour: the link's debug lines,
// written for its developers (the port opened, the authentication's status
// register), and the offscreen platform's word that it has no window system
// to pass the window's fixed size to. Warnings and errors still go out.
void withoutNoise(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg || message == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    passOn(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    // The pictures are drawn in memory: the tour needs no screen, and with
    // the same platform everywhere they come out the same on any machine. A
    // platform chosen on purpose is kept.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tagbench-tour"));
    QApplication::setStyle(QStringLiteral("Fusion"));  // the application's look

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Visite de TagBench sans écran : un banc virtuel avec les cartes de démonstration, la fenêtre de "
        "TagBench connectée à lui et menée page par page (visualisation, ISO 14443A et MIFARE, ISO 15693), "
        "une image de chaque page et de la fenêtre du banc. Sort avec un statut non nul si une étape "
        "n'a pas donné ce qu'elle devait."));
    parser.addHelpOption();
    const QCommandLineOption folderOption(
        QStringLiteral("sortie"),
        QStringLiteral("Écrit les images dans ce dossier (créé au besoin) plutôt que dans un nouveau dossier temporaire."),
        QStringLiteral("dossier"));
    parser.addOption(folderOption);
    parser.process(application);

    passOn = qInstallMessageHandler(withoutNoise);
    // The window has one slot named like a binding that no signal matches,
    // on purpose; binding by name says so each time a window is made.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.core.qmetaobject.connectslotsbyname.warning=false"));

    PictureFolder pictures;
    if (!pictures.open(parser.value(folderOption))) {
        complain(pictures.errorString());
        return 1;
    }
    say(QStringLiteral("Visite de TagBench sur un banc virtuel, sans écran"));
    WindowTour tour(pictures, [](const QString &line) { say(QStringLiteral("  ") + line); });
    const bool completed = tour.run();
    QStringList names;
    for (const QString &file : pictures.written())
        names << QFileInfo(file).fileName();
    if (!names.isEmpty())
        say(QStringLiteral("  images : %1").arg(names.join(QStringLiteral(", "))));
    say(QStringLiteral("Images de la visite dans : %1").arg(QDir::toNativeSeparators(pictures.path())));
    if (!completed) {
        complain(tour.failure());
        return 1;
    }
    return 0;
}

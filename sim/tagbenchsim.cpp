// tagbench-sim: the virtual TagBench reader board, for users without the
// real one. It serves the board on a pseudo-terminal, with the cards given
// on the command line (or the demo cards) in its field, announces itself
// to the window's port list, and runs until interrupted. When a display is
// present it opens the bench's window (scope, air log, cards in the field)
// beside its terminal output, and closing the window stops it too.

#include "benchannouncement.h"
#include "benchfeed.h"
#include "benchwindow.h"
#include "capturefile.h"
#include "cardargument.h"
#include "ptyboard.h"
#include "tracetext.h"
#include "virtualbench.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

namespace {

void say(const QString &line)
{
    std::fprintf(stdout, "%s\n", qPrintable(line));
    std::fflush(stdout);
}

void complain(const QString &line)
{
    std::fprintf(stderr, "tagbench-sim: %s\n", qPrintable(line));
}

// Whether the bench was started with the signal ignored, as nohup leaves
// SIGHUP and a shell's background job SIGINT.
bool ignoredAtStart(int signal)
{
    struct sigaction current {};
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// SIGINT, SIGTERM and SIGHUP are taken by sigtimedwait in the main loop (or
// on a timer of the window's event loop); blocked in every thread, none of
// them interrupts the board's thread or the GUI's. A blocked signal stays
// pending even when ignored, so one the bench was started ignoring is left
// out: it must not stop the bench.
sigset_t stopSignals()
{
    sigset_t stopSet;
    sigemptyset(&stopSet);
    for (const int signal : { SIGINT, SIGTERM, SIGHUP }) {
        if (!ignoredAtStart(signal))
            sigaddset(&stopSet, signal);
    }
    return stopSet;
}

bool stopRequested(const sigset_t &stopSet)
{
    const timespec now { 0, 0 };
    return sigtimedwait(&stopSet, nullptr, &now) > 0;
}

constexpr const char *NoWindow = "--no-window";
// How often the window's event loop looks for the terminal's news and for a
// stop signal.
constexpr int WindowModePollMs = 50;

// A latency beyond this is no adapter's: the host would time out on it.
constexpr int MaxLineLatencyMs = 500;

// The window opens where a GUI platform is there to show it, unless the
// command line asks for the terminal alone. This is settled before the
// application object is made, as only a window needs a QApplication.
bool windowWanted(int argc, char *argv[])
{
    // --help and --version answer without a window, display or not.
    for (int i = 1; i < argc; ++i) {
        for (const char *terminalOnly : { NoWindow, "-h", "--help", "--help-all", "-v", "--version" }) {
            if (std::strcmp(argv[i], terminalOnly) == 0)
                return false;
        }
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char *argv[])
{
    const sigset_t stopSet = stopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);

    const bool windowAsked = windowWanted(argc, argv);
    // An X display that is named but cannot be reached (an SSH session's
    // stale DISPLAY) would stop Qt with an abort: the bench then runs from
    // the terminal instead. A platform the user chose is left alone.
    const bool xFallback = windowAsked && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (xFallback)
        qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
    const std::unique_ptr<QCoreApplication> application = windowAsked
        ? std::make_unique<QApplication>(argc, argv)
        : std::make_unique<QCoreApplication>(argc, argv);
    const bool withWindow = windowAsked && !(xFallback && QGuiApplication::platformName() == QLatin1String("offscreen"));
    if (xFallback) {
        qunsetenv("QT_QPA_PLATFORM");  // not handed down to what the bench starts
        if (!withWindow)
            std::fprintf(stderr, "Affichage %s injoignable : le banc tourne sans fenêtre.\n",
                         qgetenv("DISPLAY").constData());
    }
    QCoreApplication::setApplicationName(QStringLiteral("tagbench-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAGBENCH_VERSION));
    if (withWindow)
        QApplication::setStyle(QStringLiteral("Fusion"));  // the application's look
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Banc virtuel TagBench : une carte lecteur CLRC632 simulée, sur un pseudo-terminal. "
                       "Quand un affichage est présent, le banc ouvre aussi sa fenêtre : oscilloscope sur la "
                       "sortie BNC et l'antenne, journal des trames sur l'air, cartes du champ."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption cardOption(
        QStringList { QStringLiteral("c"), QStringLiteral("card") },
        QStringLiteral("Pose une carte dans le champ (option répétable) : %1. Sans carte : les cartes de démonstration.")
            .arg(CardArgument::forms().join(QLatin1String(", "))),
        QStringLiteral("carte"));
    const QCommandLineOption emptyOption(QStringLiteral("empty"), QStringLiteral("Aucune carte dans le champ."));
    const QCommandLineOption traceOption(QStringList { QStringLiteral("t"), QStringLiteral("trace") },
                                         QStringLiteral("Affiche chaque accès aux registres de la puce et, entre eux, les trames décodées sur l'air."));
    const QCommandLineOption quietOption(QStringLiteral("no-announce"),
                                         QStringLiteral("Ne se signale pas dans la liste des ports de TagBench."));
    const QCommandLineOption captureOption(
        QStringLiteral("capture"),
        QStringLiteral("Écrit chaque capture (sortie BNC, pauses de la porteuse, modulation de charge de la carte) "
                       "dans ce fichier VCD, que PulseView et sigrok-cli lisent."),
        QStringLiteral("fichier.vcd"));
    const QCommandLineOption pcapOption(
        QStringLiteral("pcap"),
        QStringLiteral("Écrit chaque trame ISO 14443 type A sur l'air dans ce fichier pcapng, que Wireshark lit."),
        QStringLiteral("fichier.pcapng"));
    const QCommandLineOption noWindowOption(QString::fromLatin1(NoWindow + 2),
                                            QStringLiteral("N'ouvre pas la fenêtre du banc : le terminal seulement."));
    const QCommandLineOption realTimeOption(
        QStringLiteral("real-time"),
        QStringLiteral("Donne au banc l'allure de la vraie carte : la ligne à 115200 bauds (8N1) dans les deux sens, "
                       "et chaque trame prend son temps sur l'air."));
    const QCommandLineOption latencyOption(
        QStringLiteral("line-latency"),
        QStringLiteral("Ajoute à chaque réponse du banc ce qu'y ajoute un adaptateur série USB, en millisecondes."),
        QStringLiteral("ms"));
    parser.addOptions({ cardOption, emptyOption, traceOption, quietOption, captureOption, pcapOption,
                        noWindowOption, realTimeOption, latencyOption });
    parser.process(*application);

    BoardTiming timing;
    timing.realTime = parser.isSet(realTimeOption);
    if (parser.isSet(latencyOption)) {
        bool number = false;
        timing.lineLatencyMs = parser.value(latencyOption).toInt(&number);
        if (!number || timing.lineLatencyMs < 0 || timing.lineLatencyMs > MaxLineLatencyMs) {
            complain(QStringLiteral("« %1 » : la latence est un nombre de millisecondes, de 0 à %2")
                         .arg(parser.value(latencyOption))
                         .arg(MaxLineLatencyMs));
            return 2;
        }
    }

    std::vector<CardArgument::Parsed> cards;
    if (!parser.isSet(emptyOption)) {
        for (const QString &argument : parser.values(cardOption))
            cards.push_back(CardArgument::parse(argument));
        if (cards.empty())
            cards = CardArgument::demo();
    }
    for (const CardArgument::Parsed &card : cards) {
        if (!card.card) {
            complain(card.error);
            return 2;
        }
    }

    PtyBoard board;
    board.setTiming(timing);
    if (!board.start()) {
        complain(QStringLiteral("pas de pseudo-terminal : %1").arg(board.errorString()));
        return 1;
    }
    board.withBoard([&](BoardEngine &engine) {
        for (const CardArgument::Parsed &card : cards)
            engine.chip().field().addCard(card.card);
    });

    BenchAnnouncement announcement;
    const bool announced = !parser.isSet(quietOption) && announcement.announce(board.devicePath());
    // The banner goes out in one write, so that whoever waits for "prêt sur"
    // (scripts, tests) finds the announcement and the cards with it.
    QStringList banner{ QStringLiteral("Banc virtuel TagBench prêt sur %1").arg(board.devicePath()) };
    if (announced)
        banner << QStringLiteral("Dans TagBench, choisir « %1 (%2) », puis connecter.")
                          .arg(QString::fromUtf8(VirtualBench::Description), announcement.linkPath());
    for (const CardArgument::Parsed &card : cards)
        banner << QStringLiteral("  dans le champ : %1").arg(card.description);
    banner << (withWindow ? QStringLiteral("Fermer la fenêtre du banc, ou Ctrl+C, pour arrêter.")
                          : QStringLiteral("Ctrl+C pour arrêter."));
    say(banner.join(QLatin1Char('\n')));

    const bool trace = parser.isSet(traceOption);
    TraceLines traceLines;
    // The capture files asked for: the value change dump, the pcapng.
    std::vector<std::unique_ptr<CaptureFile>> captureFiles;
    for (const auto &[option, format] : { std::make_pair(&captureOption, CaptureFile::Format::Vcd),
                                          std::make_pair(&pcapOption, CaptureFile::Format::Pcapng) }) {
        if (!parser.isSet(*option))
            continue;
        auto file = std::make_unique<CaptureFile>();
        if (!file->open(parser.value(*option), format)) {
            complain(QStringLiteral("« %1 » : %2").arg(parser.value(*option), file->errorString()));
            return 1;
        }
        captureFiles.push_back(std::move(file));
    }
    BenchFeed feed(board);
    const auto report = [&](const BenchFeed::News &news) {
        const QStringList lines = trace ? traceLines.take(news) : QStringList();
        if (!lines.isEmpty())
            say(lines.join(QLatin1Char('\n')));
        for (const auto &file : captureFiles)
            file->add(news.exchanges);
    };
    if (withWindow) {
        BenchWindow window(board);
        for (const CardArgument::Parsed &card : cards)
            window.addCard(card);
        window.show();
        // The terminal keeps its trace and capture file; a stop signal closes
        // the window, which ends the event loop as closing it by hand does.
        QTimer terminal;
        QObject::connect(&terminal, &QTimer::timeout, [&] {
            report(feed.take());
            if (stopRequested(stopSet)) {
                window.close();
                QCoreApplication::quit();
            }
        });
        terminal.start(WindowModePollMs);
        application->exec();
    } else {
        while (!stopRequested(stopSet)) {
            // Sleeps until the host does something, or a fifth of a second.
            report(feed.wait(200));
        }
    }
    // What the board did after the last look.
    report(feed.take());
    for (const auto &file : captureFiles)
        file->finish();
    say(QStringLiteral("Banc virtuel arrêté."));
    return 0;
}

// tagbench-cli: the bench's type A, MIFARE Classic and ISO 15693 commands
// from a terminal or a script, with an exit status a script can test.

#include "clicommands.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

// The protocol layers trace their steps for the window's developer; on the
// command line they would mix with the results.
void keepOnlyWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tagbench-cli"));
    qInstallMessageHandler(keepOnlyWarnings);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return CliCommands::run(QCoreApplication::arguments(), out, err);
}

#pragma once

#include <QStringList>

class QTextStream;

// tagbench-cli's commands: reads the arguments (the program's name first),
// carries the command out on the board, writes its results to `out` and
// what went wrong, in French, to `err`. Returns the exit status (see
// CliBench::Status).
namespace CliCommands {

int run(const QStringList &arguments, QTextStream &out, QTextStream &err);

// The port used when none is given: the first virtual bench announced in
// the temporary directory, else the first USB serial adapter's name.
QString defaultPort();

} // namespace CliCommands

// tagbench-cli's command line, from any arguments: the options, the
// commands and their arguments, the files restore and --keys read, and what
// is said when any of it is wrong. No run may crash, show undefined
// behaviour, block, or end with a status the documentation does not give.
//
// The runs stay in a scratch directory and never reach a board:
// - the runs work in a temporary directory of their own, holding only the
//   files below (an image of each size, one too short, one too big, key
//   lists good and bad, an empty file); after each run, what it left is
//   removed and what it wrote over is put back (--journal writes its file
//   even when the board is missing);
// - an argument holding '/' is dropped, so that every file named lies in
//   that directory, and so is "--", after which no option is read;
// - every run ends with --port naming a port that cannot exist: the last
//   value of an option is the one taken, and it comes twice in case the
//   argument before it is an option waiting for its value. The port's last
//   component is longer than any file name may be, so that neither the
//   serial port's lock file nor the device can be opened: connecting fails
//   at once, and nothing is written outside the scratch directory.
//
// Input: the arguments after the program's name, separated by zero bytes,
// in UTF-8.

#include "clicommands.h"
#include "clibench.h"
#include "mifareimage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// No file name may be longer (NAME_MAX on Linux).
constexpr int LongestFileName = 255;
const QString MissingPort = QStringLiteral("./") + QString(LongestFileName + 1, QLatin1Char('p'));
// More arguments than any command takes, with room for repeated options.
constexpr int MostArguments = 32;
const QByteArray TransportTrailer = QByteArray::fromHex("FFFFFFFFFFFFFF078069FFFFFFFFFFFF");
// Another sector's keys, and access bits that give key B the writes.
const QByteArray PersonalisedTrailer = QByteArray::fromHex("3C5E7A91B2D47877886900112233445F");

QByteArray image(int size)
{
    QByteArray bytes(size, '\0');
    for (int sector = 0; sector < MifareImage::sectorCount(size); ++sector) {
        const QByteArray &trailer = sector % 2 ? PersonalisedTrailer : TransportTrailer;
        bytes.replace(MifareImage::trailerOf(sector) * MifareImage::BlockLength, MifareImage::BlockLength, trailer);
    }
    return bytes;
}

// The scratch directory's files, by name.
std::map<std::string, QByteArray> fixtures()
{
    return {
        { "image1k", image(MifareImage::Size1K) },
        { "image4k", image(MifareImage::Size4K) },
        { "short", QByteArray(MifareImage::Size1K - 1, '\0') },
        { "big", QByteArray(MifareImage::Size4K + 1, '\0') },
        { "keys", QByteArray("# clés du TP\nA0A1A2A3A4A5\n  d3f7d3f7d3f7  \n\n") },
        { "badkeys", QByteArray("A0A1A2A3A4A5\nA0A1A2\n") },
        { "empty", QByteArray() },
    };
}

// What identifies a file's content as the harness wrote it: a file written
// over, or replaced by another (QSaveFile renames its own over it), differs.
struct Stamp
{
    ino_t inode = 0;
    off_t size = -1;
    timespec modified {};

    bool operator==(const Stamp &other) const
    {
        return inode == other.inode && size == other.size && modified.tv_sec == other.modified.tv_sec
            && modified.tv_nsec == other.modified.tv_nsec;
    }
};

Stamp stampOf(const std::string &name)
{
    struct stat status {};
    if (::stat(name.c_str(), &status) != 0)
        return {};
    return { status.st_ino, status.st_size, status.st_mtim };
}

class Scratch
{
public:
    Scratch()
    {
        require(m_directory.isValid());
        enter();
        for (const auto &[name, content] : m_fixtures)
            write(name, content);
        leave();
    }

    // The run works in the scratch directory; the fuzzer, between runs, in
    // its own, where the paths it was given lead.
    void enter() { require(QDir::setCurrent(m_directory.path())); }
    void leave() { require(QDir::setCurrent(m_home)); }

    // Removes what a run left, and puts back what it wrote over. The names
    // are the file system's: to Qt, one starting with ':' is a resource.
    void tidy()
    {
        std::vector<std::filesystem::path> left;
        for (const auto &entry : std::filesystem::directory_iterator(m_directory.path().toStdString())) {
            if (m_fixtures.count(entry.path().filename().string()) == 0)
                left.push_back(entry.path());
        }
        for (const std::filesystem::path &path : left)
            require(std::filesystem::remove(path));
        for (const auto &[name, content] : m_fixtures) {
            if (!(stampOf(name) == m_stamps[name]))
                write(name, content);
        }
    }

private:
    void write(const std::string &name, const QByteArray &content)
    {
        QFile file(QString::fromStdString(name));
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size());
        file.close();
        m_stamps[name] = stampOf(name);
    }

    const QString m_home = QDir::currentPath();
    QTemporaryDir m_directory;
    const std::map<std::string, QByteArray> m_fixtures = fixtures();
    std::map<std::string, Stamp> m_stamps;
};

// The protocol layers trace their steps; the fuzzer's log has no use for it.
void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

QStringList argumentsOf(const std::uint8_t *data, std::size_t size)
{
    QStringList arguments { QStringLiteral("tagbench-cli") };
    const QList<QByteArray> pieces = QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0');
    for (const QByteArray &piece : pieces) {
        if (arguments.size() > MostArguments)
            break;
        const QString argument = QString::fromUtf8(piece);
        if (argument.contains(QLatin1Char('/')) || argument == QLatin1String("--"))
            continue;
        arguments << argument;
    }
    const QString port = QStringLiteral("--port=") + MissingPort;
    arguments << port << port;
    return arguments;
}

bool asksFor(const QStringList &arguments, const QString &option)
{
    return arguments.contains(QStringLiteral("--") + option) || arguments.contains(QStringLiteral("-") + option);
}

std::unique_ptr<Scratch> scratch;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qInstallMessageHandler(quiet);
    static QCoreApplication application(*argc, *argv);
    scratch = std::make_unique<Scratch>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QStringList arguments = argumentsOf(data, size);
    QString outText;
    QString errText;
    int status = 0;
    {
        QTextStream out(&outText);
        QTextStream err(&errText);
        scratch->enter();
        status = CliCommands::run(arguments, out, err);
    }
    scratch->tidy();
    scratch->leave();

    // Without a board, nothing is done but what needs none: the help, the
    // version. No card is ever met, so none can fail.
    require(status == CliBench::Done || status == CliBench::BadUsage || status == CliBench::NoBoard);
    if (status == CliBench::Done)
        require(!outText.isEmpty() && errText.isEmpty() && (asksFor(arguments, QStringLiteral("help"))
                                                            || asksFor(arguments, QStringLiteral("h"))
                                                            || asksFor(arguments, QStringLiteral("version"))
                                                            || asksFor(arguments, QStringLiteral("v"))));
    else
        require(errText.startsWith(QStringLiteral("tagbench-cli : ")));
    // The port tried is the harness's, never one from the input.
    if (status == CliBench::NoBoard)
        require(errText.contains(MissingPort));
    return 0;
}

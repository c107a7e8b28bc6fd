#include "clicommands.h"

#include "clibench.h"
#include "clitext.h"
#include "exchangejournal.h"
#include "mifareimage.h"
#include "virtualbench.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <functional>
#include <map>

namespace {

constexpr int LastMifareBlock = 255;
constexpr int LastIso15693Block = 255;
constexpr int Iso15693BlockLength = 4;
constexpr int Iso15693UidLength = 8;
constexpr int AfiLength = 1;
constexpr int SixteenSlots = 16;
// No dump file is bigger than a 4K image; larger files are not read whole.
constexpr qint64 LargestReadFile = MifareImage::Size4K;
constexpr const char *UsbAdapterPort = "/dev/ttyUSB0";
const QString BadUidText = QStringLiteral("--uid : il faut 16 chiffres hexadécimaux");

// The keys every dump and restore tries: the transport key, then the
// window's default key.
const QByteArray TransportKey = QByteArray::fromHex("FFFFFFFFFFFF");
const QByteArray WindowKey = QByteArray::fromHex("3C5E7A91B2D4");

const char *const HelpText =
    "Usage : tagbench-cli [options] COMMANDE [ARGUMENTS]\n"
    "Pilote la carte lecteur CLRC632 (ou le banc virtuel tagbench-sim).\n"
    "\n"
    "Type A et MIFARE Classic :\n"
    "  identify                          ATQA, UID et SAK de la carte\n"
    "  read BLOC [--key CLÉ] [--key-b]   lit un bloc (16 octets)\n"
    "  write BLOC HEX32 [--key CLÉ] [--key-b]\n"
    "                                    écrit un bloc\n"
    "  dump FICHIER [--keys FICHIER] [--4k]\n"
    "                                    image brute de la carte et plan mémoire\n"
    "  restore FICHIER [--keys FICHIER] [--trailers]\n"
    "                                    réécrit les blocs de données (jamais le bloc 0)\n"
    "ISO 15693 :\n"
    "  inventory [--slots 1|16] [--afi HH]\n"
    "                                    UID de chaque tag du champ\n"
    "  info [--uid UID]                  informations système : DSFID, AFI, blocs, circuit\n"
    "  read15 BLOC [--uid UID]\n"
    "  write15 BLOC HEX8 [--uid UID]\n"
    "  dump15 FICHIER [--uid UID]\n"
    "\n"
    "Options :\n"
    "  --port P       port série (par défaut : le premier banc virtuel annoncé, sinon /dev/ttyUSB0)\n"
    "  --key CLÉ      clé de 12 chiffres hexadécimaux (par défaut FFFFFFFFFFFF)\n"
    "  --key-b        s'authentifier avec la clé B\n"
    "  --keys F       clés à essayer en plus de FFFFFFFFFFFF et 3C5E7A91B2D4, une par ligne\n"
    "  --4k           carte MIFARE Classic 4K\n"
    "  --trailers     restaure aussi les blocs de clés dont les bits d'accès sont cohérents\n"
    "  --uid UID      tag ISO 15693 visé (16 chiffres, E0 en tête)\n"
    "  --journal F    enregistre les échanges de la commande (trames type A) en pcapng\n"
    "  --help, --version\n"
    "\n"
    "Statut de sortie : 0 fait ; 1 carte ou tag absent ou refus ; 2 mauvais usage ;\n"
    "3 la carte lecteur ne répond pas (ou le port ne s'ouvre pas).\n";

using Status = CliBench::Status;

// One run: the parsed options, the streams, and the board once connected.
class Run
{
public:
    Run(QCommandLineParser &parser, QTextStream &out, QTextStream &err) : m_parser(parser), m_out(out), m_err(err) {}

    int usage(const QString &message)
    {
        m_err << "tagbench-cli : " << message << "\n";
        return Status::BadUsage;
    }

    Status failure(Status status, const QString &message)
    {
        m_err << "tagbench-cli : " << message << "\n";
        return status;
    }

    // The positional arguments after the command, exactly `count` of them.
    bool arguments(int count)
    {
        return m_parser.positionalArguments().size() == count + 1;
    }
    QString argument(int index) const { return m_parser.positionalArguments().at(index + 1); }

    // Connects to the board; a status other than Done ends the run.
    Status connect()
    {
        const QString port = m_parser.isSet(QStringLiteral("port")) ? m_parser.value(QStringLiteral("port"))
                                                                     : CliCommands::defaultPort();
        m_bench = std::make_unique<CliBench>(port);
        if (m_parser.isSet(QStringLiteral("journal"))) {
            m_journal = std::make_unique<ExchangeJournal>();
            m_bench->setJournal(m_journal.get());
            m_action = std::make_unique<ExchangeJournal::ActionScope>(
                m_journal.get(), QStringLiteral("tagbench-cli ") + m_parser.positionalArguments().join(QLatin1Char(' ')));
        }
        QString error;
        const Status status = m_bench->connect(error);
        if (status != Status::Done)
            failure(status, error);
        return status;
    }

    // Writes the journal of the run's exchanges when --journal asked for
    // one; false (and said) when it cannot be written.
    bool saveJournal();

    int identify();
    int readBlock();
    int writeBlock();
    int dump();
    int restore();
    int inventory();
    int info();
    int readBlock15();
    int writeBlock15();
    int dump15();

private:
    std::optional<int> mifareBlock(int index) { return CliText::decimal(argument(index), LastMifareBlock); }
    // The key of --key, FFFFFFFFFFFF without it; nothing when badly typed.
    std::optional<QByteArray> key();
    // The keys a dump or restore tries, in order; nothing when --keys is bad.
    std::optional<QList<QByteArray>> keys(const QList<QByteArray> &first);
    // Identifies the card and opens the block's sector.
    Status open(const QByteArray &key, bool keyB, int block);
    // Tries each key as key A, then as key B; which opened the sector.
    Status openSector(int sector, const QList<QByteArray> &keys, QByteArray &opener, bool &asKeyB);
    // The --uid option as the tags send it (least significant byte first).
    std::optional<std::optional<QByteArray>> tagUid();
    // The ISO 15693 configuration, and the tag addressed (every tag without
    // a UID).
    Status prepareIso15693(const std::optional<QByteArray> &tagUid = std::nullopt);
    std::optional<QByteArray> readFile(const QString &path, QString &error);
    bool writeFile(const QString &path, const QByteArray &bytes);

    QCommandLineParser &m_parser;
    QTextStream &m_out;
    QTextStream &m_err;
    std::unique_ptr<ExchangeJournal> m_journal;  // declared first: the bench's link points at it
    std::unique_ptr<ExchangeJournal::ActionScope> m_action;  // names every entry after the command
    std::unique_ptr<CliBench> m_bench;
};

bool Run::saveJournal()
{
    if (!m_journal)
        return true;
    return writeFile(m_parser.value(QStringLiteral("journal")), ExchangeJournal::toPcapng(m_journal->entries()));
}

std::optional<QByteArray> Run::key()
{
    if (!m_parser.isSet(QStringLiteral("key")))
        return TransportKey;
    return CliText::hexBytes(m_parser.value(QStringLiteral("key")), MifareImage::KeyLength);
}

std::optional<QList<QByteArray>> Run::keys(const QList<QByteArray> &first)
{
    QList<QByteArray> keys = first;
    keys << TransportKey << WindowKey;
    if (m_parser.isSet(QStringLiteral("keys"))) {
        QString error;
        const std::optional<QByteArray> content = readFile(m_parser.value(QStringLiteral("keys")), error);
        if (!content) {
            usage(error);
            return std::nullopt;
        }
        const CliText::KeyList list = CliText::keyList(*content);
        if (!list.error.isEmpty()) {
            usage(QStringLiteral("%1, %2").arg(m_parser.value(QStringLiteral("keys")), list.error));
            return std::nullopt;
        }
        keys << list.keys;
    }
    QList<QByteArray> unique;
    for (const QByteArray &key : keys) {
        if (key.size() == MifareImage::KeyLength && !unique.contains(key))
            unique.append(key);
    }
    return unique;
}

std::optional<QByteArray> Run::readFile(const QString &path, QString &error)
{
    // Opening a pipe or a device waits for its other end, and reading it may
    // never end: only regular files are read.
    if (const QFileInfo info(path); info.exists() && !info.isFile()) {
        error = QStringLiteral("%1 : lecture impossible (pas un fichier ordinaire)").arg(path);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1 : lecture impossible (%2)").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.read(LargestReadFile + 1);
    if (bytes.size() > LargestReadFile || !file.atEnd()) {
        error = QStringLiteral("%1 : fichier trop grand").arg(path);
        return std::nullopt;
    }
    return bytes;
}

bool Run::writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    m_err << "tagbench-cli : " << QStringLiteral("%1 : écriture impossible (%2)").arg(path, file.errorString())
          << "\n";
    return false;
}

Status Run::open(const QByteArray &key, bool keyB, int block)
{
    QString error;
    Status status = m_bench->identify(error);
    if (status == Status::Done)
        status = m_bench->authenticate(key, keyB, block, error);
    if (status != Status::Done)
        failure(status, error);
    return status;
}

int Run::identify()
{
    if (!arguments(0))
        return usage(QStringLiteral("identify ne prend pas d'argument"));
    if (const Status status = connect(); status != Status::Done)
        return status;
    QString error;
    if (const Status status = m_bench->identify(error); status != Status::Done)
        return failure(status, error);
    const QByteArray atqa = m_bench->atqa();
    m_out << "ATQA : 0x" << CliText::hex(QByteArray(1, atqa.at(1)) + atqa.at(0)) << "\n";
    m_out << "UID : " << CliText::hex(m_bench->uid()) << "\n";
    m_out << "SAK : 0x" << CliText::hex(QByteArray(1, char(m_bench->sak()))) << "\n";
    return Status::Done;
}

int Run::readBlock()
{
    if (!arguments(1))
        return usage(QStringLiteral("read BLOC : il faut un numéro de bloc"));
    const std::optional<int> block = mifareBlock(0);
    const std::optional<QByteArray> typedKey = key();
    if (!block)
        return usage(QStringLiteral("« %1 » : il faut un bloc de 0 à 255").arg(argument(0)));
    if (!typedKey)
        return usage(QStringLiteral("--key : il faut 12 chiffres hexadécimaux"));
    if (const Status status = connect(); status != Status::Done)
        return status;
    if (const Status status = open(*typedKey, m_parser.isSet(QStringLiteral("key-b")), *block);
        status != Status::Done)
        return status;
    QByteArray data;
    QString error;
    if (const Status status = m_bench->readBlock(*block, data, error); status != Status::Done)
        return failure(status, error);
    m_out << CliText::hex(data) << "\n";
    return Status::Done;
}

int Run::writeBlock()
{
    if (!arguments(2))
        return usage(QStringLiteral("write BLOC HEX32 : il faut un numéro de bloc et 16 octets"));
    const std::optional<int> block = mifareBlock(0);
    const std::optional<QByteArray> data = CliText::hexBytes(argument(1), MifareImage::BlockLength);
    const std::optional<QByteArray> typedKey = key();
    if (!block)
        return usage(QStringLiteral("« %1 » : il faut un bloc de 0 à 255").arg(argument(0)));
    if (!data)
        return usage(QStringLiteral("« %1 » : il faut 32 chiffres hexadécimaux").arg(argument(1)));
    if (!typedKey)
        return usage(QStringLiteral("--key : il faut 12 chiffres hexadécimaux"));
    if (const Status status = connect(); status != Status::Done)
        return status;
    if (const Status status = open(*typedKey, m_parser.isSet(QStringLiteral("key-b")), *block);
        status != Status::Done)
        return status;
    QString error;
    if (const Status status = m_bench->writeBlock(*block, *data, error); status != Status::Done)
        return failure(status, error);
    m_out << QStringLiteral("bloc %1 écrit").arg(*block) << "\n";
    return Status::Done;
}

Status Run::openSector(int sector, const QList<QByteArray> &keys, QByteArray &opener, bool &asKeyB)
{
    for (const bool keyB : { false, true }) {
        for (const QByteArray &key : keys) {
            // A refused authentication leaves the card halted: each try
            // starts from a fresh identification.
            QString error;
            Status status = m_bench->identify(error);
            if (status != Status::Done)
                return failure(status, error);
            status = m_bench->authenticate(key, keyB, MifareImage::firstBlockOf(sector), error);
            if (status == Status::NoBoard)
                return failure(status, error);
            if (status == Status::Done) {
                opener = key;
                asKeyB = keyB;
                return Status::Done;
            }
        }
    }
    return Status::CardFailed;
}

int Run::dump()
{
    if (!arguments(1))
        return usage(QStringLiteral("dump FICHIER : il faut le fichier de l'image"));
    const std::optional<QList<QByteArray>> tried = keys({});
    if (!tried)
        return Status::BadUsage;
    if (const Status status = connect(); status != Status::Done)
        return status;
    const int size = m_parser.isSet(QStringLiteral("4k")) ? MifareImage::Size4K : MifareImage::Size1K;
    QByteArray image(size, '\0');
    QVector<bool> opened(MifareImage::sectorCount(size), false);
    Status result = Status::Done;
    for (int sector = 0; sector < opened.size(); ++sector) {
        QByteArray opener;
        bool asKeyB = false;
        const Status status = openSector(sector, *tried, opener, asKeyB);
        if (status == Status::NoBoard)
            return status;
        if (status != Status::Done) {
            m_err << QStringLiteral("secteur %1 : aucune clé ne l'ouvre, laissé à zéro").arg(sector) << "\n";
            result = Status::CardFailed;
            continue;
        }
        opened[sector] = true;
        for (int i = 0; i < MifareImage::blockCountOf(sector); ++i) {
            const int block = MifareImage::firstBlockOf(sector) + i;
            QByteArray data;
            QString error;
            const Status read = m_bench->readBlock(block, data, error);
            if (read == Status::NoBoard)
                return failure(read, error);
            if (read != Status::Done) {
                m_err << error << ", laissé à zéro\n";
                result = Status::CardFailed;
                continue;
            }
            image.replace(block * MifareImage::BlockLength, MifareImage::BlockLength, data);
        }
        MifareImage::putKey(image, sector, opener, asKeyB);
    }
    if (!writeFile(argument(0), image))
        return Status::BadUsage;
    m_out << MifareImage::memoryMap(image, opened);
    return result;
}

int Run::restore()
{
    if (!arguments(1))
        return usage(QStringLiteral("restore FICHIER : il faut le fichier de l'image"));
    QString error;
    const std::optional<QByteArray> image = readFile(argument(0), error);
    if (!image)
        return usage(error);
    if (!MifareImage::validSize(image->size()))
        return usage(QStringLiteral("%1 : une image fait 1024 ou 4096 octets, pas %2").arg(argument(0)).arg(image->size()));
    const bool trailers = m_parser.isSet(QStringLiteral("trailers"));
    const QList<QByteArray> noKeys;
    if (!keys(noKeys))
        return Status::BadUsage;
    if (const Status status = connect(); status != Status::Done)
        return status;
    Status result = Status::Done;
    for (int sector = 0; sector < MifareImage::sectorCount(image->size()); ++sector) {
        // The image's own keys first: the ones that opened the sector when
        // it was dumped.
        const QList<QByteArray> tried = *keys(MifareImage::keysOf(*image, sector));
        QByteArray opener;
        bool asKeyB = false;
        const Status status = openSector(sector, tried, opener, asKeyB);
        if (status == Status::NoBoard)
            return status;
        if (status != Status::Done) {
            m_err << QStringLiteral("secteur %1 : aucune clé ne l'ouvre, non restauré").arg(sector) << "\n";
            result = Status::CardFailed;
            continue;
        }
        for (int i = 0; i < MifareImage::blockCountOf(sector); ++i) {
            const int block = MifareImage::firstBlockOf(sector) + i;
            const MifareImage::Restore restore = MifareImage::restoreOf(*image, block, trailers);
            if (restore == MifareImage::Restore::KeepInconsistent) {
                m_err << QStringLiteral("secteur %1 : bits d'accès incohérents, bloc de clés non restauré").arg(sector)
                      << "\n";
                result = Status::CardFailed;
            }
            if (restore != MifareImage::Restore::Write)
                continue;
            const QByteArray data = image->mid(block * MifareImage::BlockLength, MifareImage::BlockLength);
            const Status written = m_bench->writeBlock(block, data, error);
            if (written == Status::NoBoard)
                return failure(written, error);
            if (written != Status::Done) {
                m_err << error << "\n";
                result = Status::CardFailed;
            }
        }
    }
    if (result == Status::Done)
        m_out << QStringLiteral("%1 restauré").arg(argument(0)) << "\n";
    return result;
}

std::optional<std::optional<QByteArray>> Run::tagUid()
{
    if (!m_parser.isSet(QStringLiteral("uid")))
        return std::optional<QByteArray>();
    std::optional<QByteArray> uid = CliText::hexBytes(m_parser.value(QStringLiteral("uid")), Iso15693UidLength);
    if (!uid)
        return std::nullopt;
    std::reverse(uid->begin(), uid->end());
    return std::optional<QByteArray>(uid);
}

Status Run::prepareIso15693(const std::optional<QByteArray> &tagUid)
{
    if (const Status status = connect(); status != Status::Done)
        return status;
    QString error;
    const Status status = m_bench->configureIso15693(error);
    if (status != Status::Done)
        failure(status, error);
    m_bench->address(tagUid);
    return status;
}

int Run::inventory()
{
    if (!arguments(0))
        return usage(QStringLiteral("inventory ne prend pas d'argument"));
    const QString slotCount = m_parser.value(QStringLiteral("slots"));
    if (m_parser.isSet(QStringLiteral("slots")) && slotCount != QLatin1String("1") && slotCount != QLatin1String("16"))
        return usage(QStringLiteral("--slots : 1 ou 16"));
    std::optional<quint8> afi;
    if (m_parser.isSet(QStringLiteral("afi"))) {
        const std::optional<QByteArray> typed = CliText::hexBytes(m_parser.value(QStringLiteral("afi")), AfiLength);
        if (!typed)
            return usage(QStringLiteral("--afi : il faut 2 chiffres hexadécimaux"));
        afi = quint8(typed->at(0));
    }
    if (const Status status = prepareIso15693(); status != Status::Done)
        return status;
    QList<QByteArray> uids;
    QString error;
    const bool sixteen = !m_parser.isSet(QStringLiteral("slots")) || slotCount.toInt() == SixteenSlots;
    if (const Status status = m_bench->inventory(sixteen, afi, uids, error); status != Status::Done)
        return failure(status, error);
    for (QByteArray uid : uids) {
        std::reverse(uid.begin(), uid.end());
        m_out << CliText::hex(uid) << "\n";
    }
    return Status::Done;
}

int Run::info()
{
    if (!arguments(0))
        return usage(QStringLiteral("info ne prend pas d'argument"));
    const auto uid = tagUid();
    if (!uid)
        return usage(BadUidText);
    if (const Status status = prepareIso15693(*uid); status != Status::Done)
        return status;
    Iso15693Protocol::SystemInformation info;
    QString error;
    if (const Status status = m_bench->systemInformation(info, error); status != Status::Done)
        return failure(status, error);
    QByteArray tag(reinterpret_cast<const char *>(info.uid), Iso15693UidLength);
    std::reverse(tag.begin(), tag.end());
    const auto byteOrAbsent = [](int value) {
        return value < 0 ? QStringLiteral("non donné") : CliText::hex(QByteArray(1, char(value)));
    };
    m_out << "UID : " << CliText::hex(tag) << "\n"
          << "DSFID : " << byteOrAbsent(info.dsfid) << "\n"
          << "AFI : " << byteOrAbsent(info.afi) << "\n";
    if (info.blockCount < 0)
        m_out << "mémoire : non donnée\n";
    else
        m_out << QStringLiteral("mémoire : %1 blocs de %2 octets").arg(info.blockCount).arg(info.blockSize) << "\n";
    m_out << "référence du circuit : " << byteOrAbsent(info.icReference) << "\n";
    return Status::Done;
}

int Run::readBlock15()
{
    if (!arguments(1))
        return usage(QStringLiteral("read15 BLOC : il faut un numéro de bloc"));
    const std::optional<int> block = CliText::decimal(argument(0), LastIso15693Block);
    const auto uid = tagUid();
    if (!block)
        return usage(QStringLiteral("« %1 » : il faut un bloc de 0 à 255").arg(argument(0)));
    if (!uid)
        return usage(BadUidText);
    if (const Status status = prepareIso15693(*uid); status != Status::Done)
        return status;
    QByteArray data;
    QString error;
    if (const Status status = m_bench->readBlock15(*block, data, error); status != Status::Done)
        return failure(status, error);
    m_out << CliText::hex(data) << "\n";
    return Status::Done;
}

int Run::writeBlock15()
{
    if (!arguments(2))
        return usage(QStringLiteral("write15 BLOC HEX8 : il faut un numéro de bloc et 4 octets"));
    const std::optional<int> block = CliText::decimal(argument(0), LastIso15693Block);
    const std::optional<QByteArray> data = CliText::hexBytes(argument(1), Iso15693BlockLength);
    const auto uid = tagUid();
    if (!block)
        return usage(QStringLiteral("« %1 » : il faut un bloc de 0 à 255").arg(argument(0)));
    if (!data)
        return usage(QStringLiteral("« %1 » : il faut 8 chiffres hexadécimaux").arg(argument(1)));
    if (!uid)
        return usage(BadUidText);
    if (const Status status = prepareIso15693(*uid); status != Status::Done)
        return status;
    QString error;
    if (const Status status = m_bench->writeBlock15(*block, *data, error); status != Status::Done)
        return failure(status, error);
    m_out << QStringLiteral("bloc %1 écrit").arg(*block) << "\n";
    return Status::Done;
}

int Run::dump15()
{
    if (!arguments(1))
        return usage(QStringLiteral("dump15 FICHIER : il faut le fichier de l'image"));
    const auto uid = tagUid();
    if (!uid)
        return usage(BadUidText);
    if (const Status status = prepareIso15693(*uid); status != Status::Done)
        return status;
    // The tag says where its memory ends by refusing the first block past it.
    QByteArray image;
    for (int block = 0; block <= LastIso15693Block; ++block) {
        QByteArray data;
        QString error;
        const Status status = m_bench->readBlock15(block, data, error);
        if (status == Status::NoBoard || (status != Status::Done && block == 0))
            return failure(status, error);
        if (status != Status::Done)
            break;
        image += data;
    }
    if (!writeFile(argument(0), image))
        return Status::BadUsage;
    m_out << QStringLiteral("%1 blocs de 4 octets enregistrés dans %2")
                 .arg(image.size() / Iso15693BlockLength)
                 .arg(argument(0))
          << "\n";
    return Status::Done;
}

void addOptions(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({
        { QStringLiteral("port"), QStringLiteral("port série"), QStringLiteral("P") },
        { QStringLiteral("key"), QStringLiteral("clé"), QStringLiteral("CLÉ") },
        { QStringLiteral("key-b"), QStringLiteral("clé B") },
        { QStringLiteral("keys"), QStringLiteral("fichier de clés"), QStringLiteral("FICHIER") },
        { QStringLiteral("4k"), QStringLiteral("carte 4K") },
        { QStringLiteral("trailers"), QStringLiteral("blocs de clés aussi") },
        { QStringLiteral("slots"), QStringLiteral("1 ou 16"), QStringLiteral("N") },
        { QStringLiteral("afi"), QStringLiteral("AFI"), QStringLiteral("HH") },
        { QStringLiteral("uid"), QStringLiteral("UID du tag"), QStringLiteral("UID") },
        { QStringLiteral("journal"), QStringLiteral("journal pcapng"), QStringLiteral("FICHIER") },
        { { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("aide") },
        { { QStringLiteral("v"), QStringLiteral("version") }, QStringLiteral("version") },
    });
}

} // namespace

namespace CliCommands {

QString defaultPort()
{
    const QFileInfoList links = QDir(QDir::tempPath())
                                    .entryInfoList({ QLatin1String(VirtualBench::LinkPrefix) + QLatin1Char('*') },
                                                   QDir::System | QDir::Files, QDir::Name);
    for (const QFileInfo &link : links) {
        if (link.isSymLink() && link.exists())  // a bench that is gone leaves a dangling link
            return link.filePath();
    }
    return QLatin1String(UsbAdapterPort);
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    addOptions(parser);
    Run run(parser, out, err);
    if (!parser.parse(arguments)) {
        if (!parser.unknownOptionNames().isEmpty())
            return run.usage(QStringLiteral("option inconnue : %1 (voir --help)").arg(parser.unknownOptionNames().first()));
        return run.usage(QStringLiteral("option sans sa valeur (voir --help)"));
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << QString::fromUtf8(HelpText);
        return Status::Done;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << "tagbench-cli " << TAGBENCH_VERSION << "\n";
        return Status::Done;
    }
    const std::map<QString, std::function<int(Run &)>> commands = {
        { QStringLiteral("identify"), &Run::identify },   { QStringLiteral("read"), &Run::readBlock },
        { QStringLiteral("write"), &Run::writeBlock },    { QStringLiteral("dump"), &Run::dump },
        { QStringLiteral("restore"), &Run::restore },     { QStringLiteral("inventory"), &Run::inventory },
        { QStringLiteral("info"), &Run::info },           { QStringLiteral("read15"), &Run::readBlock15 },
        { QStringLiteral("write15"), &Run::writeBlock15 }, { QStringLiteral("dump15"), &Run::dump15 },
    };
    if (parser.positionalArguments().isEmpty())
        return run.usage(QStringLiteral("il manque la commande (voir --help)"));
    const auto command = commands.find(parser.positionalArguments().first());
    if (command == commands.end())
        return run.usage(QStringLiteral("commande inconnue : %1 (voir --help)").arg(parser.positionalArguments().first()));
    const int status = command->second(run);
    // The journal tells what happened whatever the outcome: it is kept for
    // a failed run too.
    if (!run.saveJournal())
        return status == Status::Done ? Status::BadUsage : status;
    return status;
}

} // namespace CliCommands

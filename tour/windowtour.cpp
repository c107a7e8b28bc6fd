#include "windowtour.h"

#include "airlogview.h"
#include "benchwindow.h"
#include "chipregisters.h"
#include "crypto1.h"
#include "iso15693tag.h"
#include "mainwindow.h"
#include "mifareclassiccard.h"
#include "picturefolder.h"
#include "scopeview.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidgetItem>

#include <algorithm>

namespace {

// A step that did not give what it should, with what the user is told.
struct StepFailed
{
    QString message;
};

void expect(bool condition, const QString &message)
{
    if (!condition)
        throw StepFailed { message };
}

// How the window's fields show a result that is right.
const QString Green = QStringLiteral("color:green");

// The bench answers at once (it keeps no line pace here); these bounds are
// for a machine under load.
constexpr int DrainTimeoutMs = 5000;
// The bench's window looks at the board every BenchWindow::PollIntervalMs.
constexpr int CatchUpTimeoutMs = 5000;
constexpr int LookIntervalMs = 10;
// How much of the scope's view comes before an inventory's first slot pulse.
constexpr double LeadBeforePulsesUs = 1000.0;

// What the tour writes into the cards: 16 bytes for the MIFARE block, 4 for
// the ISO 15693 one.
const QByteArray MifareWritten("Visite TagBench!");
const QByteArray VicinityWritten = QByteArray::fromHex("CAFEF00D");

QString upperHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

// A tag's UID as tags print it and the window shows it, most significant
// byte first.
QString printedUid(quint64 uid)
{
    return QStringLiteral("%1").arg(uid, 16, 16, QLatin1Char('0')).toUpper();
}

// Runs the event loop until `done` holds or `timeoutMs` have passed. The
// loop sleeps between looks.
template<typename Condition>
bool runEventsUntil(Condition done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    const QDeadlineTimer deadline(timeoutMs);
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    look.start(LookIntervalMs);
    loop.exec();
    return done();
}

} // namespace

WindowTour::WindowTour(PictureFolder &pictures, std::function<void(const QString &)> say)
    : m_pictures(pictures)
    , m_say(std::move(say))
    , m_cards(CardArgument::demo())
{
    for (const CardArgument::Parsed &card : m_cards) {
        if (auto classic = std::dynamic_pointer_cast<MifareClassicCard>(card.card))
            m_classic = classic;
        if (auto tag = std::dynamic_pointer_cast<Iso15693Tag>(card.card))
            m_tags.push_back(tag);
    }
}

WindowTour::~WindowTour() = default;

bool WindowTour::run()
{
    try {
        startBench();
        connectToBench();
        visitVisualisation();
        visitTypeA();
        followTheLabSheet();
        visitVicinity();
        showInventoryOnTheScope();
    } catch (const StepFailed &failed) {
        m_failure = failed.message;
        return false;
    }
    return true;
}

void WindowTour::startBench()
{
    expect(m_classic && m_tags.size() == 2,
           QStringLiteral("les cartes de démonstration ne sont plus une MIFARE Classic et deux tags ISO 15693"));
    expect(m_board.start(), QStringLiteral("pas de pseudo-terminal pour le banc virtuel : %1").arg(m_board.errorString()));
    m_bench = std::make_unique<BenchWindow>(m_board);
    for (const CardArgument::Parsed &card : m_cards)
        m_bench->addCard(card);  // which puts it in the field
    m_bench->show();
    m_window = std::make_unique<MainWindow>();
    m_window->show();
}

void WindowTour::connectToBench()
{
    // The port box takes the bench's device path, as a user types it.
    qobject_cast<QComboBox *>(widget("comboBox_port"))->setEditText(m_board.devicePath());
    click("button_img_port_connect");
    expect(widget("onglet_main_widget")->isEnabled() && !widget("label_ERREUR_OK")->isHidden(),
           QStringLiteral("connexion : le banc virtuel sur %1 n'a pas répondu").arg(m_board.devicePath()));
    m_say(QStringLiteral("connexion : banc virtuel sur %1").arg(m_board.devicePath()));
}

void WindowTour::visitVisualisation()
{
    showPage("tab_visu_signaux");
    // The card's answer with its subcarrier on the BNC output, the reader's
    // frame in modified Miller, the modulator fed by the coder.
    click("radio_bnc_manss");
    click("radio_codbit_miller");
    click("radio_modsel_donnees");
    const quint64 before = latestExchange();
    click("button_img_request_demod");
    const quint64 request = latestExchange();
    expect(request > before, QStringLiteral("visualisation : la requête vers le tag n'est pas partie"));
    const AirExchange sent = exchange(request);
    const bool oneCleanAnswer = sent.heard && sent.received.answers == 1
        && std::none_of(sent.received.collided.begin(), sent.received.collided.end(), [](quint8 bit) { return bit; });
    expect(oneCleanAnswer, QStringLiteral("visualisation : aucune carte n'a répondu à la requête vers le tag"));
    expect((sent.settings.mfoutSelect & MFOUTSelectBits::SourceMask) == MFOUTSelectBits::ManchesterWithSubcarrier,
           QStringLiteral("visualisation : la sortie BNC n'est pas sur « Manchester sous-porteuse »"));

    letTheBenchCatchUp();
    const Capture *capture = m_bench->scope()->capture();
    expect(capture && capture->firstSerial == request && !capture->mfout.empty() && !capture->antenna.empty(),
           QStringLiteral("banc : l'oscilloscope ne montre pas la requête vers le tag"));
    takePicture(m_window.get(), QStringLiteral("visualisation"));
    takePicture(m_bench.get(), QStringLiteral("banc-oscilloscope"));
    m_say(QStringLiteral("visualisation : sortie BNC Manchester sous-porteuse, Miller modifié, requête vers le tag "
                         "et sa réponse sur l'oscilloscope du banc"));
}

void WindowTour::visitTypeA()
{
    showPage("tab_14443");
    click("button_14_img_rlcfg");
    click("button_14_reqa");
    expect(isGreen("txtedit_14_ATQA"), QStringLiteral("ISO 14443A : REQA n'a pas reçu d'ATQA valable"));
    click("button_14_anticol1");
    const QString uid = upperHex(m_classic->uid());
    expect(isGreen("txtedit_14_uid") && edit("txtedit_14_uid")->text().contains(uid),
           QStringLiteral("ISO 14443A : l'anticollision n'a pas donné l'UID %1").arg(uid));
    click("button_14_select");
    expect(!widget("img_14_tick")->isHidden(), QStringLiteral("ISO 14443A : la carte n'a pas été sélectionnée"));

    // Sector 1 of the demo card opens with the key the page proposes; its
    // block 5 is written, then block 4 read, whose greeting stays on the page.
    edit("txtedit_mf_block")->setText(QStringLiteral("04"));
    click("button_mf_auth");
    expect(isGreen("txtedit_mf_cle"),
           QStringLiteral("MIFARE : la clé proposée (%1) n'a pas ouvert le bloc 4").arg(edit("txtedit_mf_cle")->text()));

    edit("txtedit_mf_block")->setText(QStringLiteral("05"));
    edit("txtedit_mf_donnees")->setText(upperHex(MifareWritten));
    click("button_mf_write");
    const QByteArray block5 = m_board.withBoard([&](BoardEngine &) { return m_classic->block(5); });
    expect(isGreen("txtedit_mf_donnees") && block5 == MifareWritten,
           QStringLiteral("MIFARE : l'écriture du bloc 5 n'a pas eu lieu"));

    edit("txtedit_mf_block")->setText(QStringLiteral("04"));
    click("button_mf_read");
    const QByteArray block4 = m_board.withBoard([&](BoardEngine &) { return m_classic->block(4); });
    const QString read = edit("txtedit_mf_donnees")->text();
    expect(isGreen("txtedit_mf_donnees") && read == upperHex(block4),
           QStringLiteral("MIFARE : la lecture du bloc 4 a donné « %1 » au lieu de %2").arg(read, upperHex(block4)));

    takePicture(m_window.get(), QStringLiteral("iso14443a"));
    m_say(QStringLiteral("ISO 14443A : UID %1 sélectionné ; MIFARE : bloc 5 écrit (« %2 »), bloc 4 lu (« %3 »)")
              .arg(uid, QString::fromLatin1(MifareWritten), QString::fromLatin1(QByteArray::fromHex(read.toLatin1()))));
}

// The lab sheet on MIFARE Classic authentication (doc/tp-authentification-
// mifare.md), on the authentication of block 4 the type A page just made:
// the three passes in the air log, ar checked by hand against suc64(nt) and
// at against suc96(nt), the read of block 4 decrypted, and the AUTH's row
// chosen in the log bringing its exchange onto the scope.
void WindowTour::followTheLabSheet()
{
    letTheBenchCatchUp();
    AirLogView *log = m_bench->airLog();
    QStringList frames;
    QTreeWidgetItem *authRow = nullptr;
    for (int i = 0; i < log->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = log->topLevelItem(i);
        for (int j = 0; j < row->childCount(); ++j) {
            // The card's nonce goes in clear: its bytes are in their column.
            QString meaning = row->child(j)->text(AirLogView::Meaning);
            if (meaning == QStringLiteral("nonce de la carte"))
                meaning += QLatin1Char(' ') + row->child(j)->text(AirLogView::Hex).remove(QLatin1Char(' '));
            if (!authRow && meaning.startsWith(QStringLiteral("AUTH A bloc 4")))
                authRow = row;
            if (authRow)
                frames << meaning;
        }
    }
    expect(authRow != nullptr, QStringLiteral("TP : pas d'« AUTH A bloc 4 » dans le journal de l'air"));
    const QString passes = frames.join(QLatin1Char('\n'));
    const auto word = [&](const QString &pattern) {
        const QRegularExpressionMatch match
            = QRegularExpression(pattern, QRegularExpression::MultilineOption).match(passes);
        expect(match.hasMatch(), QStringLiteral("TP : le journal de l'air ne montre pas « %1 »").arg(pattern));
        return match.captured(1).toUInt(nullptr, 16);
    };
    const quint32 nt = word(QStringLiteral("^nonce de la carte ([0-9A-F]{8})"));
    const quint32 ar = word(QStringLiteral("^jeton du lecteur : nr [0-9A-F]{8}, ar = suc64\\(nt\\) ([0-9A-F]{8})"));
    const quint32 at = word(QStringLiteral("^jeton de la carte : at = suc96\\(nt\\) ([0-9A-F]{8})"));
    expect(ar == Crypto1::successor(nt, 64) && at == Crypto1::successor(nt, 96),
           QStringLiteral("TP : ar ou at ne sont pas suc64(nt) et suc96(nt) pour nt = %1").arg(nt, 8, 16, QLatin1Char('0')));
    const QByteArray block4 = m_board.withBoard([&](BoardEngine &) { return m_classic->block(4); });
    const QString read = QStringLiteral("bloc 4 : ") + QString::fromLatin1(block4.toHex(' ').toUpper());
    expect(passes.contains(QStringLiteral("READ bloc 4")) && passes.contains(read),
           QStringLiteral("TP : la lecture du bloc 4 n'est pas déchiffrée dans le journal (« %1 »)").arg(read));

    log->setCurrentItem(authRow);
    const Capture *capture = m_bench->scope()->capture();
    expect(capture && capture->firstSerial == AirLogView::serialOf(authRow),
           QStringLiteral("TP : l'oscilloscope ne montre pas l'échange « AUTH A bloc 4 »"));
    m_say(QStringLiteral("TP MIFARE : nt %1, ar = suc64(nt), at = suc96(nt), bloc 4 lu en clair dans le journal")
              .arg(nt, 8, 16, QLatin1Char('0')).toUpper());
}

void WindowTour::visitVicinity()
{
    showPage("tab_15");
    click("button_15_img_rlcfg");
    // 16 slots, the AFI ignored: each tag answers in a slot of its own.
    edit("txtedit_15_flag")->setText(QStringLiteral("06"));
    m_inventorySerial = latestExchange() + 1;
    click("button_15_inventory");
    const char *const uidFields[] = { "txtedit_15_uid", "txtedit_15_uid_2" };
    QStringList found;
    for (const auto &tag : m_tags) {
        const QString uid = printedUid(tag->uid());
        const bool shown = std::any_of(std::begin(uidFields), std::end(uidFields), [&](const char *field) {
            return isGreen(field) && edit(field)->text().contains(uid);
        });
        expect(shown, QStringLiteral("ISO 15693 : l'inventaire en 16 créneaux n'a pas trouvé le tag %1").arg(uid));
        found << uid;
    }

    // Both tags answer a non-addressed command; their blocks hold the same
    // bytes until written, so their answers agree.
    edit("txtedit_15_secteur")->setText(QStringLiteral("05"));
    click("button_15_read");
    const QByteArray block5 = m_board.withBoard([&](BoardEngine &) { return m_tags.front()->block(5); });
    const QString read = edit("txtedit_15_donnees")->text();
    expect(isGreen("txtedit_15_donnees") && read == upperHex(block5),
           QStringLiteral("ISO 15693 : la lecture du bloc 05 a donné « %1 » au lieu de %2").arg(read, upperHex(block5)));

    edit("txtedit_15_donnees")->setText(upperHex(VicinityWritten));
    click("button_15_write");
    const bool written = m_board.withBoard([&](BoardEngine &) {
        return std::all_of(m_tags.begin(), m_tags.end(), [](const auto &tag) { return tag->block(5) == VicinityWritten; });
    });
    expect(isGreen("txtedit_15_donnees") && written, QStringLiteral("ISO 15693 : l'écriture du bloc 05 n'a pas eu lieu"));

    takePicture(m_window.get(), QStringLiteral("iso15693"));
    m_say(QStringLiteral("ISO 15693 : inventaire en 16 créneaux (%1), bloc 05 lu (%2) puis écrit (%3)")
              .arg(found.join(QStringLiteral(", ")), read, upperHex(VicinityWritten)));
}

void WindowTour::showInventoryOnTheScope()
{
    letTheBenchCatchUp();
    // As a user does: the inventory's row chosen in the air log holds the
    // scope on its capture, slot pulses and all.
    AirLogView *log = m_bench->airLog();
    QTreeWidgetItem *row = nullptr;
    for (int i = 0; i < log->topLevelItemCount() && !row; ++i) {
        if (AirLogView::serialOf(log->topLevelItem(i)) == m_inventorySerial)
            row = log->topLevelItem(i);
    }
    expect(row != nullptr, QStringLiteral("banc : l'inventaire n'est pas dans le journal de l'air"));
    log->setCurrentItem(row);
    log->expandItem(row);
    log->scrollToItem(row, QAbstractItemView::PositionAtCenter);
    ScopeView *scope = m_bench->scope();
    const Capture *capture = scope->capture();
    expect(capture && capture->firstSerial == m_inventorySerial && capture->exchangeCount > 1,
           QStringLiteral("banc : l'oscilloscope ne montre pas l'inventaire et ses créneaux"));
    // The host waits out the first slot before it pulses the next ones: the
    // view is brought onto the pulses and the tags' answers.
    const auto firstPulse = std::find_if(capture->frames.begin(), capture->frames.end(),
                                         [](const DecodedFrame &frame) { return frame.slotPulse; });
    if (firstPulse != capture->frames.end()) {
        const double pulseUs = double(firstPulse->timeNs - capture->startNs) / 1000.0;
        const double startUs = std::max(0.0, pulseUs - LeadBeforePulsesUs);
        scope->setView(startUs, capture->durationUs - startUs);
    }
    takePicture(m_bench.get(), QStringLiteral("banc-journal"));
    m_say(QStringLiteral("banc : %1 échanges dans le journal de l'air, l'inventaire sur l'oscilloscope")
              .arg(log->topLevelItemCount()));
}

QWidget *WindowTour::widget(const char *name) const
{
    auto *found = m_window->findChild<QWidget *>(QString::fromLatin1(name));
    expect(found != nullptr, QStringLiteral("la fenêtre n'a pas d'élément « %1 »").arg(QString::fromLatin1(name)));
    return found;
}

QAbstractButton *WindowTour::button(const char *name) const
{
    auto *found = qobject_cast<QAbstractButton *>(widget(name));
    expect(found != nullptr, QStringLiteral("« %1 » n'est pas un bouton").arg(QString::fromLatin1(name)));
    return found;
}

QLineEdit *WindowTour::edit(const char *name) const
{
    auto *found = qobject_cast<QLineEdit *>(widget(name));
    expect(found != nullptr, QStringLiteral("« %1 » n'est pas un champ de texte").arg(QString::fromLatin1(name)));
    return found;
}

void WindowTour::click(const char *name) const
{
    QAbstractButton *target = button(name);
    expect(target->isEnabled(), QStringLiteral("le bouton « %1 » n'est pas actif").arg(QString::fromLatin1(name)));
    target->click();
}

bool WindowTour::isGreen(const char *name) const
{
    return edit(name)->styleSheet() == Green;
}

void WindowTour::showPage(const char *name) const
{
    auto *pages = qobject_cast<QTabWidget *>(widget("onglet_main_widget"));
    expect(pages != nullptr, QStringLiteral("la fenêtre n'a plus ses onglets"));
    pages->setCurrentWidget(widget(name));
    expect(pages->currentWidget() == widget(name),
           QStringLiteral("l'onglet « %1 » ne s'ouvre pas").arg(QString::fromLatin1(name)));
}

quint64 WindowTour::latestExchange()
{
    expect(m_board.waitUntilDrained(DrainTimeoutMs), QStringLiteral("le banc virtuel ne répond plus"));
    return m_board.withBoard([](BoardEngine &engine) { return engine.chip().exchangeCount(); });
}

AirExchange WindowTour::exchange(quint64 serial)
{
    return m_board.withBoard([&](BoardEngine &engine) {
        for (const AirExchange &candidate : engine.chip().airLog()) {
            if (candidate.serial == serial)
                return candidate;
        }
        return AirExchange {};
    });
}

void WindowTour::letTheBenchCatchUp()
{
    const quint64 latest = latestExchange();
    AirLogView *log = m_bench->airLog();
    const bool caughtUp = runEventsUntil(
        [&] {
            const int rows = log->topLevelItemCount();
            return latest == 0 || (rows > 0 && AirLogView::serialOf(log->topLevelItem(rows - 1)) == latest);
        },
        CatchUpTimeoutMs);
    expect(caughtUp, QStringLiteral("banc : la fenêtre du banc n'a pas montré les derniers échanges à temps"));
}

void WindowTour::takePicture(QWidget *window, const QString &name)
{
    // Layouts and repaints the steps asked for are done first.
    QCoreApplication::processEvents();
    expect(m_pictures.save(window, name), m_pictures.errorString());
}

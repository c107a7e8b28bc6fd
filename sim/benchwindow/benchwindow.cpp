#include "benchwindow.h"

#include "airlogview.h"
#include "captureexport.h"
#include "fieldcardspanel.h"
#include "ptyboard.h"
#include "scopeview.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QSaveFile>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = BenchWindow::tr("« %1 » : %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

BenchWindow::BenchWindow(PtyBoard &board, QWidget *parent)
    : QMainWindow(parent)
    , m_board(board)
    , m_feed(board)
{
    setWindowTitle(tr("Banc virtuel TagBench — %1").arg(board.devicePath()));

    m_scope = new ScopeView(this);
    m_log = new AirLogView(this);
    m_cards = new FieldCardsPanel(board, this);

    auto *logBox = new QWidget(this);
    auto *logLayout = new QVBoxLayout(logBox);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->addWidget(makeLogHeader(logBox));
    logLayout->addWidget(m_log);

    auto *left = new QSplitter(Qt::Vertical, this);
    left->addWidget(m_scope);
    left->addWidget(logBox);
    left->setStretchFactor(0, 3);
    left->setStretchFactor(1, 2);
    auto *cardsBox = new QWidget(this);
    auto *cardsLayout = new QVBoxLayout(cardsBox);
    cardsLayout->addWidget(m_cards);
    auto *main = new QSplitter(Qt::Horizontal, this);
    main->addWidget(left);
    main->addWidget(cardsBox);
    main->setStretchFactor(0, 1);
    main->setStretchFactor(1, 0);
    main->setSizes({ 760, 240 });
    setCentralWidget(main);

    m_followAction = new QAction(tr("Suivre les nouvelles captures"), this);
    m_followAction->setCheckable(true);
    m_followAction->setChecked(true);
    m_followAction->setToolTip(tr("Cochée : l'oscilloscope montre chaque nouvel échange, ou, avec un déclencheur, "
                                  "attend le prochain qui y répond. "
                                  "Décochée : il garde la capture choisie dans le journal ou déclenchée."));
    connect(m_followAction, &QAction::toggled, this, &BenchWindow::setFollowing);
    auto *whole = new QAction(tr("Capture entière"), this);
    connect(whole, &QAction::triggered, m_scope, &ScopeView::showWholeCapture);
    auto *png = new QAction(tr("Exporter l'écran (PNG)…"), this);
    connect(png, &QAction::triggered, this, [this] {
        askAndExport(tr("Exporter l'écran de l'oscilloscope"), tr("Images PNG (*.png)"), QStringLiteral(".png"),
                     &BenchWindow::exportScopePng);
    });
    auto *vcd = new QAction(tr("Exporter la capture (VCD)…"), this);
    vcd->setToolTip(tr("La capture affichée en signaux logiques (sortie BNC, pauses de la porteuse, modulation "
                       "de charge de la carte), pour PulseView, sigrok-cli et son décodeur Miller, ou GTKWave."));
    connect(vcd, &QAction::triggered, this, [this] {
        askAndExport(tr("Exporter la capture affichée"), tr("Value change dump (*.vcd)"), QStringLiteral(".vcd"),
                     &BenchWindow::exportCaptureVcd);
    });
    auto *detailedVcd = new QAction(tr("Exporter la capture détaillée (VCD : enveloppe et octets)…"), this);
    detailedVcd->setToolTip(tr("Les mêmes signaux, plus l'enveloppe de l'antenne et les octets décodés dans chaque "
                               "sens : pour GTKWave ; sigrok-cli et PulseView ne lisent que le VCD simple."));
    connect(detailedVcd, &QAction::triggered, this, [this] {
        askAndExport(tr("Exporter la capture affichée, détaillée"), tr("Value change dump (*.vcd)"),
                     QStringLiteral(".vcd"), &BenchWindow::exportCaptureDetailedVcd);
    });
    auto *pcapng = new QAction(tr("Exporter la capture (pcapng)…"), this);
    pcapng->setToolTip(tr("Les trames ISO 14443 type A de la capture affichée, pour Wireshark. "
                          "Pour toute la séance : tagbench-sim --pcap FICHIER.pcapng."));
    connect(pcapng, &QAction::triggered, this, [this] {
        askAndExport(tr("Exporter les trames de la capture affichée"), tr("Captures pcapng (*.pcapng)"),
                     QStringLiteral(".pcapng"), &BenchWindow::exportCapturePcapng);
    });
    auto *csv = new QAction(tr("Exporter le journal (CSV)…"), this);
    connect(csv, &QAction::triggered, this, [this] {
        askAndExport(tr("Exporter le journal de l'air"), tr("Tableaux CSV (*.csv)"), QStringLiteral(".csv"),
                     &BenchWindow::exportAirLogCsv);
    });
    auto *quit = new QAction(tr("Arrêter le banc"), this);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QToolBar *tools = addToolBar(tr("Oscilloscope"));
    tools->setMovable(false);
    tools->addAction(m_followAction);
    tools->addAction(whole);
    addTriggerControls(tools);
    tools->addSeparator();
    tools->addAction(png);
    tools->addAction(vcd);
    tools->addAction(pcapng);
    tools->addAction(csv);
    QMenu *file = menuBar()->addMenu(tr("&Fichier"));
    file->addAction(png);
    file->addAction(vcd);
    file->addAction(detailedVcd);
    file->addAction(pcapng);
    file->addAction(csv);
    file->addSeparator();
    file->addAction(quit);

    m_mode = new QLabel(this);
    statusBar()->addPermanentWidget(m_mode);
    connect(m_log, &AirLogView::exchangeChosen, this, &BenchWindow::showExchange);
    updateCaption();
    resize(1000, 760);

    connect(&m_poll, &QTimer::timeout, this, &BenchWindow::poll);
    m_poll.start(PollIntervalMs);
}

BenchWindow::~BenchWindow() = default;

void BenchWindow::addTriggerControls(QToolBar *tools)
{
    tools->addSeparator();
    tools->addWidget(new QLabel(tr(" Déclencher sur : "), tools));
    m_triggerKind = new QComboBox(tools);
    m_triggerKind->setObjectName(QStringLiteral("declencheur"));
    m_triggerKind->addItem(tr("tout"), int(CaptureTrigger::Kind::Any));
    m_triggerKind->addItem(tr("commande…"), int(CaptureTrigger::Kind::Command));
    m_triggerKind->addItem(tr("erreur"), int(CaptureTrigger::Kind::Error));
    m_triggerKind->addItem(tr("collision"), int(CaptureTrigger::Kind::Collision));
    m_triggerKind->setToolTip(tr("L'oscilloscope attend le prochain échange qui répond au déclencheur, le montre "
                                 "et le garde.\nErreur : parité ou CRC faux, ou un temps hors de ses limites."));
    m_triggerCommand = new QLineEdit(tools);
    m_triggerCommand->setObjectName(QStringLiteral("declencheur_commande"));
    m_triggerCommand->setPlaceholderText(tr("SELECT, READ, 93 20…"));
    m_triggerCommand->setToolTip(tr("Le nom ou les octets de la commande du lecteur, sans tenir compte de la casse"));
    m_triggerCommand->setClearButtonEnabled(true);
    m_triggerCommand->setEnabled(false);
    tools->addWidget(m_triggerKind);
    tools->addWidget(m_triggerCommand);
    connect(m_triggerKind, &QComboBox::currentIndexChanged, this, &BenchWindow::triggerFromControls);
    connect(m_triggerCommand, &QLineEdit::editingFinished, this, &BenchWindow::triggerFromControls);
}

QWidget *BenchWindow::makeLogHeader(QWidget *parent)
{
    auto *header = new QWidget(parent);
    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(tr("<b>Journal de l'air</b> — choisir une ligne montre sa capture sur l'oscilloscope"),
                                 header), 1);
    m_filter = new QLineEdit(header);
    m_filter->setObjectName(QStringLiteral("filtre"));
    m_filter->setPlaceholderText(tr("Filtrer…"));
    m_filter->setToolTip(tr("Ne montre que les échanges dont un texte contient celui-ci, sans tenir compte de la casse"));
    m_filter->setClearButtonEnabled(true);
    m_errorsOnly = new QCheckBox(tr("Erreurs seulement"), header);
    m_errorsOnly->setObjectName(QStringLiteral("erreurs_seulement"));
    m_errorsOnly->setToolTip(tr("Ne montre que les échanges où une parité, un CRC ou un temps est faux"));
    layout->addWidget(m_filter);
    layout->addWidget(m_errorsOnly);
    connect(m_filter, &QLineEdit::textChanged, this, &BenchWindow::applyFilter);
    connect(m_errorsOnly, &QCheckBox::toggled, this, &BenchWindow::applyFilter);
    return header;
}

void BenchWindow::applyFilter()
{
    m_log->setFilter(m_filter->text(), m_errorsOnly->isChecked());
}

void BenchWindow::triggerFromControls()
{
    const auto kind = CaptureTrigger::Kind(m_triggerKind->currentData().toInt());
    setTrigger(CaptureTrigger(kind, m_triggerCommand->text()));
    if (kind == CaptureTrigger::Kind::Command && m_triggerCommand->text().isEmpty())
        m_triggerCommand->setFocus();
}

void BenchWindow::setTrigger(const CaptureTrigger &trigger)
{
    m_trigger = trigger;
    {
        const QSignalBlocker quietKind(m_triggerKind);
        const QSignalBlocker quietCommand(m_triggerCommand);
        m_triggerKind->setCurrentIndex(m_triggerKind->findData(int(trigger.kind())));
        m_triggerCommand->setText(trigger.command());
        m_triggerCommand->setEnabled(trigger.kind() == CaptureTrigger::Kind::Command);
    }
    setFollowing(true);
}

void BenchWindow::holdTriggered(quint64 serial)
{
    m_following = false;
    m_triggered = true;
    m_heldSerial = serial;
    {
        const QSignalBlocker quiet(m_followAction);
        m_followAction->setChecked(false);
    }
    updateCaption();
}

void BenchWindow::addCard(const CardArgument::Parsed &card)
{
    m_cards->addCard(card);
}

void BenchWindow::poll()
{
    const BenchFeed::News news = m_feed.take();
    for (const AirExchange &exchange : news.exchanges) {
        const DecodedExchange &decoded = m_history.add(exchange);
        m_log->addExchange(decoded);
        if (armed() && m_trigger.matches(decoded))
            holdTriggered(decoded.exchange.serial);
    }
    if (m_following && !news.exchanges.empty())
        m_log->scrollToBottom();
    if (news.lostExchanges > 0) {
        m_lostExchanges += news.lostExchanges;
        statusBar()->showMessage(tr("%1 échange(s) perdu(s) : le banc allait plus vite que la fenêtre")
                                     .arg(m_lostExchanges));
    }
    // Armed, the scope keeps what it shows until a match.
    const CaptureHistory::Entry *entry = !m_following ? m_history.find(m_heldSerial)
        : armed()                                     ? nullptr
                                                      : m_history.newest();
    // A capture grows while an inventory's slot pulses join it.
    if (entry && (entry->firstSerial() != m_shownSerial || entry->exchanges.size() != m_shownExchanges))
        showCapture(*entry);
}

void BenchWindow::showCapture(const CaptureHistory::Entry &entry)
{
    auto capture = std::make_shared<const Capture>(SignalSynthesis::capture(entry.exchanges));
    m_shownSerial = entry.firstSerial();
    m_shownExchanges = entry.exchanges.size();
    m_shownSummary = capture->summaries.empty() ? QString() : capture->summaries.front();
    if (capture->exchangeCount > 1)
        m_shownSummary += tr(" (+ %1 échange(s) : impulsions de créneau)").arg(capture->exchangeCount - 1);
    m_scope->setCapture(std::move(capture));
    updateCaption();
}

void BenchWindow::updateCaption()
{
    if (armed()) {
        QString caption = tr("Armé, en attente : %1").arg(m_trigger.description());
        if (m_shownSerial != 0)
            caption += tr(" — montre encore l'échange n° %1 : %2").arg(m_shownSerial).arg(m_shownSummary);
        m_scope->setCaption(caption);
    } else if (m_shownSerial == 0) {
        m_scope->setCaption(tr("En direct — aucun échange encore"));
    } else if (m_triggered) {
        m_scope->setCaption(tr("Déclenchée sur %1 — échange n° %2 : %3 — cocher « Suivre » pour réarmer")
                                .arg(m_trigger.description())
                                .arg(m_shownSerial)
                                .arg(m_shownSummary));
    } else if (m_following) {
        m_scope->setCaption(tr("En direct — échange n° %1 : %2").arg(m_shownSerial).arg(m_shownSummary));
    } else {
        m_scope->setCaption(tr("Figée sur l'échange n° %1 : %2 — cocher « Suivre » pour revenir au direct")
                                .arg(m_shownSerial)
                                .arg(m_shownSummary));
    }
    if (armed())
        m_mode->setText(tr("Oscilloscope : armé"));
    else if (m_triggered)
        m_mode->setText(tr("Oscilloscope : déclenché"));
    else
        m_mode->setText(m_following ? tr("Oscilloscope : en direct") : tr("Oscilloscope : figé"));
}

void BenchWindow::setFollowing(bool following)
{
    m_following = following;
    m_triggered = false;
    {
        const QSignalBlocker quiet(m_followAction);
        m_followAction->setChecked(following);
    }
    if (following) {
        m_log->clearChoice();
        m_log->scrollToBottom();
        const CaptureHistory::Entry *newest = m_history.newest();
        if (newest && !armed())
            showCapture(*newest);
    } else {
        m_heldSerial = m_shownSerial;
    }
    updateCaption();
}

bool BenchWindow::showExchange(quint64 serial)
{
    const CaptureHistory::Entry *entry = m_history.find(serial);
    if (!entry) {
        statusBar()->showMessage(tr("La capture de l'échange n° %1 n'est plus conservée").arg(serial));
        return false;
    }
    m_heldSerial = serial;
    m_triggered = false;
    if (m_following) {
        m_following = false;
        const QSignalBlocker quiet(m_followAction);
        m_followAction->setChecked(false);
    }
    showCapture(*entry);
    return true;
}

bool BenchWindow::exportScopePng(const QString &path)
{
    if (!m_scope->grab().save(path, "PNG")) {
        m_lastError = tr("« %1 » : l'image n'a pas pu être écrite").arg(path);
        return false;
    }
    return true;
}

const CaptureHistory::Entry *BenchWindow::shownEntry()
{
    if (m_shownSerial == 0 || !m_scope->capture()) {
        m_lastError = tr("Aucune capture à exporter");
        return nullptr;
    }
    const CaptureHistory::Entry *entry = m_history.find(m_shownSerial);
    if (!entry)
        m_lastError = tr("La capture de l'échange n° %1 n'est plus conservée").arg(m_shownSerial);
    return entry;
}

bool BenchWindow::exportVcd(const QString &path, VcdWriter::Layout layout)
{
    const CaptureHistory::Entry *entry = shownEntry();
    if (!entry)
        return false;
    VcdWriter writer(layout);
    return writeFile(path, writer.header() + writer.capture(entry->exchanges), &m_lastError);
}

bool BenchWindow::exportCaptureVcd(const QString &path)
{
    return exportVcd(path, VcdWriter::Layout::Logic);
}

bool BenchWindow::exportCaptureDetailedVcd(const QString &path)
{
    return exportVcd(path, VcdWriter::Layout::Detailed);
}

bool BenchWindow::exportCapturePcapng(const QString &path)
{
    const CaptureHistory::Entry *entry = shownEntry();
    if (!entry)
        return false;
    TypeAPcapngWriter writer;
    QByteArray packets;
    for (const DecodedExchange &decoded : entry->exchanges)
        packets += writer.exchange(decoded);
    if (packets.isEmpty()) {
        m_lastError = tr("La capture affichée n'a aucune trame ISO 14443 type A");
        return false;
    }
    return writeFile(path, writer.header() + packets, &m_lastError);
}

bool BenchWindow::exportAirLogCsv(const QString &path)
{
    return writeFile(path, m_log->csv(), &m_lastError);
}

void BenchWindow::askAndExport(const QString &title, const QString &filter, const QString &suffix,
                               bool (BenchWindow::*write)(const QString &))
{
    QString path = QFileDialog::getSaveFileName(this, title, QStringLiteral("banc") + suffix, filter);
    if (path.isEmpty())
        return;
    if (!path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    if ((this->*write)(path))
        statusBar()->showMessage(tr("Écrit : %1").arg(path), 5000);
    else
        QMessageBox::warning(this, title, m_lastError);
}

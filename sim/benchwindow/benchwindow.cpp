#include "benchwindow.h"

#include "airlogview.h"
#include "captureexport.h"
#include "fieldcardspanel.h"
#include "ptyboard.h"
#include "scopeview.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
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
    logLayout->addWidget(new QLabel(tr("<b>Journal de l'air</b> — choisir une ligne montre sa capture sur l'oscilloscope"),
                                    logBox));
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
    m_followAction->setToolTip(tr("Cochée : l'oscilloscope montre chaque nouvel échange. "
                                  "Décochée : il garde la capture choisie dans le journal."));
    connect(m_followAction, &QAction::toggled, this, &BenchWindow::setFollowing);
    auto *whole = new QAction(tr("Capture entière"), this);
    connect(whole, &QAction::triggered, m_scope, &ScopeView::showWholeCapture);
    auto *png = new QAction(tr("Exporter l'écran (PNG)…"), this);
    connect(png, &QAction::triggered, this, [this] {
        askAndExport(tr("Exporter l'écran de l'oscilloscope"), tr("Images PNG (*.png)"), QStringLiteral(".png"),
                     &BenchWindow::exportScopePng);
    });
    auto *vcd = new QAction(tr("Exporter la capture (VCD)…"), this);
    connect(vcd, &QAction::triggered, this, [this] {
        askAndExport(tr("Exporter la capture affichée"), tr("Value change dump (*.vcd)"), QStringLiteral(".vcd"),
                     &BenchWindow::exportCaptureVcd);
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
    tools->addSeparator();
    tools->addAction(png);
    tools->addAction(vcd);
    tools->addAction(csv);
    QMenu *file = menuBar()->addMenu(tr("&Fichier"));
    file->addAction(png);
    file->addAction(vcd);
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

void BenchWindow::addCard(const CardArgument::Parsed &card)
{
    m_cards->addCard(card);
}

void BenchWindow::poll()
{
    const BenchFeed::News news = m_feed.take();
    for (const AirExchange &exchange : news.exchanges)
        m_log->addExchange(m_history.add(exchange));
    if (m_following && !news.exchanges.empty())
        m_log->scrollToBottom();
    if (news.lostExchanges > 0) {
        m_lostExchanges += news.lostExchanges;
        statusBar()->showMessage(tr("%1 échange(s) perdu(s) : le banc allait plus vite que la fenêtre")
                                     .arg(m_lostExchanges));
    }
    const CaptureHistory::Entry *entry = m_following ? m_history.newest() : m_history.find(m_heldSerial);
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
    if (m_shownSerial == 0) {
        m_scope->setCaption(tr("En direct — aucun échange encore"));
    } else if (m_following) {
        m_scope->setCaption(tr("En direct — échange n° %1 : %2").arg(m_shownSerial).arg(m_shownSummary));
    } else {
        m_scope->setCaption(tr("Figée sur l'échange n° %1 : %2 — cocher « Suivre » pour revenir au direct")
                                .arg(m_shownSerial)
                                .arg(m_shownSummary));
    }
    m_mode->setText(m_following ? tr("Oscilloscope : en direct") : tr("Oscilloscope : figé"));
}

void BenchWindow::setFollowing(bool following)
{
    m_following = following;
    {
        const QSignalBlocker quiet(m_followAction);
        m_followAction->setChecked(following);
    }
    if (following) {
        m_log->clearChoice();
        m_log->scrollToBottom();
        if (const CaptureHistory::Entry *newest = m_history.newest())
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

bool BenchWindow::exportCaptureVcd(const QString &path)
{
    const Capture *capture = m_scope->capture();
    if (!capture) {
        m_lastError = tr("Aucune capture à exporter");
        return false;
    }
    VcdWriter writer;
    return writeFile(path, writer.header() + writer.capture(*capture), &m_lastError);
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

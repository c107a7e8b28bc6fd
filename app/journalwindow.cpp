#include "journalwindow.h"

#include "exchangejournal.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr QSize InitialSize(960, 420);

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString bitsText(const ExchangeJournal::Entry &entry)
{
    const int rxBits = entry.rxLastBits();
    return QStringLiteral("%1 / %2")
        .arg(entry.txLastBits())
        .arg(rxBits == ExchangeJournal::Unknown ? QStringLiteral("?") : QString::number(rxBits));
}

QStringList rowTexts(const ExchangeJournal::Entry &entry)
{
    return { entry.time.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz")),
             entry.action,
             hexBytes(entry.sent),
             bitsText(entry),
             entry.settings(),
             hexBytes(entry.answer()),
             entry.outcome(),
             QStringLiteral("%1 ms").arg(double(entry.durationUs) / 1000.0, 0, 'f', 1) };
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace

JournalWindow::JournalWindow(const ExchangeJournal *journal, QWidget *parent)
    : QDialog(parent)
    , m_journal(journal)
    , m_table(new QTableWidget(0, ColumnCount, this))
{
    setObjectName(QStringLiteral("journal_window"));
    setWindowTitle(QStringLiteral("Journal des trames"));
    resize(InitialSize);
    m_table->setObjectName(QStringLiteral("journal_table"));
    m_table->setHorizontalHeaderLabels({ QStringLiteral("Heure"), QStringLiteral("Action"), QStringLiteral("Envoyé"),
                                         QStringLiteral("Bits (Tx / Rx)"), QStringLiteral("Réglages"),
                                         QStringLiteral("Réponse"), QStringLiteral("Issue"), QStringLiteral("Durée") });
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto *csvButton = new QPushButton(QStringLiteral("Exporter CSV…"), this);
    auto *pcapngButton = new QPushButton(QStringLiteral("Exporter pcapng…"), this);
    connect(csvButton, &QPushButton::clicked, this, [this] {
        chooseAndExport(QStringLiteral("Exporter le journal en CSV"), QStringLiteral("CSV (*.csv)"),
                        &JournalWindow::exportCsv);
    });
    connect(pcapngButton, &QPushButton::clicked, this, [this] {
        chooseAndExport(QStringLiteral("Exporter les trames ISO14443A en pcapng"),
                        QStringLiteral("pcapng (*.pcapng)"), &JournalWindow::exportPcapng);
    });
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(csvButton);
    buttons->addWidget(pcapngButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addLayout(buttons);
}

void JournalWindow::refresh()
{
    const QList<ExchangeJournal::Entry> &entries = m_journal->entries();
    m_table->setRowCount(int(entries.size()));
    for (int row = 0; row < entries.size(); ++row) {
        const QStringList texts = rowTexts(entries.at(row));
        for (int column = 0; column < ColumnCount; ++column)
            m_table->setItem(row, column, new QTableWidgetItem(texts.at(column)));
    }
    m_table->resizeColumnsToContents();
    m_table->scrollToBottom();
}

bool JournalWindow::exportCsv(const QString &path, QString *error) const
{
    return writeFile(path, ExchangeJournal::toCsv(m_journal->entries()), error);
}

bool JournalWindow::exportPcapng(const QString &path, QString *error) const
{
    return writeFile(path, ExchangeJournal::toPcapng(m_journal->entries()), error);
}

void JournalWindow::chooseAndExport(const QString &title, const QString &filter,
                                    bool (JournalWindow::*write)(const QString &, QString *) const)
{
    const QString path = QFileDialog::getSaveFileName(this, title, QString(), filter);
    if (path.isEmpty())
        return;
    QString error;
    if (!(this->*write)(path, &error))
        QMessageBox::warning(this, title, QStringLiteral("Le fichier n'a pas pu être écrit : %1").arg(error));
}

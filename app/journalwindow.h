#pragma once

#include <QDialog>

class ExchangeJournal;
class QTableWidget;

// The journal of the frames exchanged with cards, as a table: time, the
// user's action, the frame sent, its bits, the framing settings, the answer,
// its outcome and duration. The files it exports are the journal's own
// (ExchangeJournal::toCsv, toPcapng); the buttons only ask where to put them.
class JournalWindow : public QDialog
{
    Q_OBJECT

public:
    enum Column { Time, Action, Sent, Bits, Settings, Answer, Outcome, Duration, ColumnCount };

    JournalWindow(const ExchangeJournal *journal, QWidget *parent = nullptr);

    // The table shows the journal's entries as they are now.
    void refresh();
    // The journal written to a file; false, with the reason, when it could not be.
    bool exportCsv(const QString &path, QString *error = nullptr) const;
    bool exportPcapng(const QString &path, QString *error = nullptr) const;

private:
    void chooseAndExport(const QString &title, const QString &filter,
                         bool (JournalWindow::*write)(const QString &, QString *) const);

    const ExchangeJournal *m_journal;
    QTableWidget *m_table;
};

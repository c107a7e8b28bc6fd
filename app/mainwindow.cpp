#include "mainwindow.h"

#include "fieldtext.h"
#include "hexpaste.h"
#include "iso14443aprotocol.h"
#include "iso15693protocol.h"
#include "journalwindow.h"
#include "mainwindowui.h"
#include "makersite.h"
#include "mifareclassic.h"
#include "portname.h"
#include "readerlink.h"
#include "resultstyle.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDesktopServices>
#include <QEvent>
#include <QFontMetrics>
#include <QPushButton>
#include <QSerialPort>
#include <QShortcut>
#include <QUrl>

namespace {

using namespace ResultStyle;

void hideAll(std::initializer_list<QWidget *> widgets)
{
    for (QWidget *widget : widgets)
        widget->hide();
}

// The journal's button, in the header's free area between the connection
// bar and the logo.
constexpr QRect JournalButtonRect(700, 70, 101, 27);

} // namespace

MainWindow::BoardAction::BoardAction(MainWindow *window, const QString &name, ExchangeJournal::Family family)
    : m_window(window)
    // Unnamed, an action keeps the name of the one it is part of.
    , m_journalScope(name.isEmpty() ? nullptr : &window->exchangeJournal, name, family)
    , m_operation(*window->link)
{
    if (m_operation.outermost())
        m_window->failureSaid = false;
}

MainWindow::BoardAction::~BoardAction()
{
    if (!m_operation.outermost())
        return;
    m_window->showBoardState();
    if (m_window->journalWindow && m_window->journalWindow->isVisible())
        m_window->journalWindow->refresh();
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , link(nullptr)
    , iso14443a(nullptr)
    , mifare(nullptr)
    , iso15693(nullptr)
    , ui(new MainWindowUi)
{
    ui->setupUi(this);

    // Nothing works on the pages until a board is connected.
    ui->onglet_main_widget->setEnabled(false);
    ui->button_14_anticol2->setEnabled(true);
    hideAll({ ui->button_14_anticol3, ui->ctrl_read_adr, ui->ctrl_read_val, ui->butt_ctrl_read, ui->button_info_img,
           ui->label_manu_chanred_2, ui->txtedit_manu_collpos, ui->txtedit_mf_secteur, ui->label_mf_secteur,
           ui->label_14_uid_incomplet, ui->label_14_uid_erreur, ui->button_14_scantag });
    ui->button_manu_img_send->setEnabled(true);
    // The connection bar starts disconnected.
    hideAll({ ui->button_txt_port_deco, ui->button_img_port_deco, ui->label_ERREUR_OK, ui->txtedit_port,
           ui->button_txt_port_connect, ui->button_img_port_deco });
    showIso14443Step(StepNone);
    updateListPortCombobox();

    // The first port listed has already put its name into txtedit_port.
    link = new ReaderLink(ui->txtedit_port->text());
    iso14443a = new Iso14443aProtocol(link);
    mifare = new MifareClassic(iso14443a);
    iso15693 = new Iso15693Protocol(link);
    link->setJournal(&exchangeJournal);

    auto *journalButton = new QPushButton(QStringLiteral("Journal"), ui->centralWidget);
    journalButton->setObjectName(QStringLiteral("button_journal"));
    journalButton->setGeometry(JournalButtonRect);
    journalButton->setFocusPolicy(Qt::NoFocus);
    journalButton->setToolTip(QStringLiteral("Journal des trames échangées (Ctrl+J)"));
    connect(journalButton, &QPushButton::clicked, this, &MainWindow::showJournal);
    auto *journalShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_J), this);
    connect(journalShortcut, &QShortcut::activated, this, &MainWindow::showJournal);

    // A port that vanishes while nothing talks to the board (an adapter
    // unplugged) says so once the event loop hears of it; during an action,
    // the action's end tells.
    connect(link->port(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !link->port()->isOpen())
            return;
        if (!link->portStillThere()) {
            showDisconnected();
            say(PortName::lost(connectedPort), Tone::Failure);
        }
    }, Qt::QueuedConnection);

    auto *hexPaste = new HexPaste([this](const QString &why) { say(why, Tone::Failure); }, this);
    for (QLineEdit *field : { ui->txtedit_mf_donnees, ui->txtedit_mf_cle, ui->txtedit_mf_block, ui->txtedit_manu_trame,
                              ui->txtedit_manu_bitframing, ui->txtedit_manu_chanred, ui->txtedit_15_donnees,
                              ui->txtedit_15_secteur, ui->txtedit_15_afi_w, ui->txtedit_15_dsfid_w,
                              ui->txtedit_15_afi, ui->txtedit_15_flag, ui->txtedit_15_manu_trame,
                              ui->txtedit_15_manu_bitframing, ui->txtedit_15_manu_chanred,
                              ui->txtedit_15_manu_collpos, ui->txtedit_donnee_mod })
        hexPaste->watch(field);
    for (QButtonGroup *group : { ui->buttonGroup_radio_bnc, ui->buttonGroup_radio_codbit, ui->buttonGroup_radio_modsel })
        inForce[group] = group->checkedButton();
}

void MainWindow::showJournal()
{
    if (!journalWindow)
        journalWindow = new JournalWindow(&exchangeJournal, this);
    journalWindow->refresh();
    journalWindow->show();
    journalWindow->raise();
    journalWindow->activateWindow();
}

void MainWindow::say(const QString &message, Tone tone)
{
    QLabel *line = ui->label_message;
    // One line: what does not fit ends in an ellipsis, and the whole text
    // is in the tooltip.
    const QString shown = line->fontMetrics().elidedText(message, Qt::ElideRight, line->width());
    line->setText(shown);
    line->setToolTip(shown == message ? QString() : message);
    line->setStyleSheet(tone == Tone::Failure ? Red : tone == Tone::Success ? Green : Black);
    failureSaid = tone == Tone::Failure;
}

void MainWindow::showBoardState()
{
    if (!link->port()->isOpen())
        return;
    if (link->portLost()) {
        showDisconnected();
        say(PortName::lost(connectedPort), Tone::Failure);
        return;
    }
    // A board that stopped answering shows as the connection bar shows one
    // that does not answer the probe; the port stays open, and the next
    // action the board answers brings the green indicator back.
    const bool answered = !link->failed();
    ui->label_ERREUR->setVisible(!answered);
    ui->label_ERREUR_OK->setVisible(answered);
    if (!answered && !failureSaid)
        say(QStringLiteral("La carte lecteur ne répond plus"), Tone::Failure);
}

bool MainWindow::wholeDigits(QLineEdit *field, int digits, const QString &name)
{
    const bool gap = FieldText::hasGap(field->displayText());
    if (!gap && FieldText::fillsDigits(field->text(), digits))
        return true;
    field->setStyleSheet(Red);
    const int typed = int(field->text().trimmed().size());
    say(gap ? QStringLiteral("%1 : un chiffre manque au milieu, rien n'est écrit").arg(name)
            : QStringLiteral("%1 : %2 chiffres hexadécimaux attendus, %3 tapés ; rien n'est écrit")
                  .arg(name)
                  .arg(digits)
                  .arg(typed),
        Tone::Failure);
    return false;
}

bool MainWindow::blockTyped(QLineEdit *field)
{
    if (!field->text().trimmed().isEmpty())
        return true;
    say(QStringLiteral("Bloc : champ vide, aucun bloc n'est choisi"), Tone::Failure);
    return false;
}

MainWindow::~MainWindow()
{
    // The widgets go with the window. The protocol objects and the link go
    // too, in the reverse order of their making: closing the port here
    // releases its lock rather than leaving that to the process's end.
    delete iso15693;
    delete mifare;
    delete iso14443a;
    delete link;
    delete ui;
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

void MainWindow::showIso14443Step(int step)
{
    const quint8 shown = quint8(step);
    ui->label_14_indic_cl1->setVisible(shown == 0);
    ui->label_14_indic_cl2->setVisible(shown == 1);
    ui->label_14_indic_sel->setVisible(shown == 2);
    ui->img_14_tick->setVisible(shown == 3);
}

void MainWindow::on_onglet_main_widget_currentChanged(int index)
{
    // Back on the visualisation page: the other pages may have changed the
    // chip's coding, modulator input or BNC output, so the page's three
    // choices go to the board again.
    if (index != 0)
        return;
    const BoardAction action(this);
    for (QButtonGroup *group : { ui->buttonGroup_radio_bnc, ui->buttonGroup_radio_codbit, ui->buttonGroup_radio_modsel }) {
        if (QAbstractButton *checked = group->checkedButton())
            checked->click();
    }
}

void MainWindow::on_pushButton_clicked()
{
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(MakerSite::address)));
}

void MainWindow::on_button_info_img_pressed()
{
}

void MainWindow::on_button_info_img_released()
{
    ui->label_credit_txt->hide();
}

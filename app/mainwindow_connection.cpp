// The connection bar: the list of ports, the port name, connecting with a
// probe of the board, disconnecting, and the indicators.

#include "mainwindow.h"

#include "mainwindowui.h"
#include "portname.h"
#include "readerlink.h"
#include "serialports.h"

#include <QSerialPort>

void MainWindow::updateListPortCombobox()
{
    // The list is kept from one call to the next, as the port tooltip reads
    // the same enumeration.
    static QList<SerialPortEntry> ports;
    ports = SerialPorts::available();
    for (const SerialPortEntry &port : ports) {
        QStringList listed;
        for (int i = 0; i < ui->comboBox_port->count(); ++i)
            listed << ui->comboBox_port->itemText(i);
        if (PortName::joinsList(port.friendlyName, listed))
            ui->comboBox_port->addItem(port.friendlyName);
    }
}

void MainWindow::on_button_img_refreshportlist_clicked()
{
    ui->comboBox_port->clear();
    updateListPortCombobox();
}

void MainWindow::on_comboBox_port_editTextChanged(const QString &text)
{
    const std::optional<QString> name = PortName::fromComboText(text);
    if (!name)
        return;  // an emptied box keeps the last port name
    ui->txtedit_port->clear();
    ui->txtedit_port->setText(*name);
}

void MainWindow::on_button_img_port_connect_clicked()
{
    QSerialPort *port = link->port();
    if (!port->isOpen()) {
        const QString name = ui->txtedit_port->text();
        if (name.isEmpty()) {
            say(PortName::unusable(ui->comboBox_port->currentText()), Tone::Failure);
            return;
        }
        port->setPortName(name);
        link->open();
        connectedPort = name;
    }
    if (!port->isOpen()) {
        say(PortName::openFailure(connectedPort, port->error()), Tone::Failure);
        return;
    }
    const BoardAction action(this);
    // The probe is the field-off write itself: no answer, no board.
    if (link->probe()) {
        link->closePort();
        say(QStringLiteral("%1 : la carte lecteur ne répond pas").arg(connectedPort), Tone::Failure);
        return;
    }
    link->setField(true);
    ui->label_ERREUR->hide();
    ui->label_ERREUR_OK->show();
    ui->onglet_main_widget->setEnabled(true);
    ui->button_img_port_deco->show();
    ui->button_img_port_connect->hide();
    ui->onglet_main_widget->setCurrentIndex(0);
    ui->button_img_demod_rlcfg->click();  // the default visualisation settings
    if (!action.failed())
        say(QStringLiteral("Connecté à %1").arg(connectedPort), Tone::Success);
}

void MainWindow::on_button_img_port_deco_clicked()
{
    if (!link->port()->isOpen())
        return;
    // The field is left as it is: the board keeps its state.
    showDisconnected();
    say(QStringLiteral("Déconnecté"));
}

void MainWindow::showDisconnected()
{
    link->closePort();
    ui->label_ERREUR->show();
    ui->label_ERREUR_OK->hide();
    ui->onglet_main_widget->setEnabled(false);
    ui->button_img_port_deco->hide();
    ui->button_img_port_connect->show();
}

void MainWindow::on_txtedit_port_focus_int()
{
    QString names;
    for (const SerialPortEntry &port : SerialPorts::available())
        names += port.portName + QLatin1Char('\n');
    ui->txtedit_port->clear();
    ui->txtedit_port->setToolTip(names);
}

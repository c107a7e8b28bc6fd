#pragma once

#include "benchfixture.h"
#include "mainwindow.h"
#include "serialports.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

// A window connected, or ready to connect, to a virtual board on a
// pseudo-terminal. Widgets are reached by their object names, as the
// window's own slots are.
class WindowFixture
{
public:
    explicit WindowFixture(QList<SerialPortEntry> ports = {})
    {
        SerialPorts::setSourceForTesting([ports] { return ports; });
    }

    ~WindowFixture()
    {
        window.reset();
        bench.stop();
        SerialPorts::setSourceForTesting({});
    }

    // Starts a board, at the pace given, and builds the window; the port
    // box names the board.
    bool start(const BoardTiming &timing = {})
    {
        bench.boardHolder = std::make_unique<PtyBoard>();
        bench.board().setTiming(timing);
        if (!bench.board().start())
            return false;
        expectUnboundSlot();
        window = std::make_unique<MainWindow>();
        window->show();
        combo()->setEditText(bench.board().devicePath());
        return true;
    }

    // Connects through the connect button; true once the bar shows it.
    bool connectBoard()
    {
        QTest::ignoreMessage(QtDebugMsg, " open: 1");
        button("button_img_port_connect")->click();
        return tabs()->isEnabled();
    }

    template<typename Widget = QWidget>
    Widget *find(const char *name) const
    {
        auto *widget = window->findChild<Widget *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no widget named %s", name);
        return widget;
    }

    QAbstractButton *button(const char *name) const { return find<QAbstractButton>(name); }
    QLineEdit *edit(const char *name) const { return find<QLineEdit>(name); }
    QComboBox *combo() const { return find<QComboBox>("comboBox_port"); }
    QTabWidget *tabs() const { return find<QTabWidget>("onglet_main_widget"); }
    // What the message line says of the last action: its whole text, which
    // the tooltip holds when the line is too short for it.
    QString message() const
    {
        const auto *line = find<QLabel>("label_message");
        return line->toolTip().isEmpty() ? line->text() : line->toolTip();
    }
    // Shown unless hidden on purpose, whichever page is current.
    bool shown(const char *name) const { return !find(name)->isHidden(); }

    // The one slot that binding by name cannot bind says so once per window.
    static void expectUnboundSlot()
    {
        QTest::ignoreMessage(QtWarningMsg,
                             "QMetaObject::connectSlotsByName: No matching signal for on_txtedit_port_focus_int()");
    }

    BenchFixture bench;
    std::unique_ptr<MainWindow> window;
};

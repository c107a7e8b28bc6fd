// The main window's form, as the behaviour code meets it: the widgets it
// reaches by object name, the slots bound by name and the order in which the
// form's own connections run before them, the fields' initial texts and
// masks, the button groups, which of two overlapping widgets lies on top,
// and what a language change puts back. Runs offscreen.

#include "mainwindowui.h"
#include "makersite.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QTabWidget>
#include <QTest>
#include <QTranslator>

#include <utility>

// A window with every slot that the application's window binds by name, each
// recording its own name, so that binding and order of delivery show.
class SlotWindow : public QMainWindow
{
    Q_OBJECT

public:
    QStringList calls;

private slots:
    void on_onglet_main_widget_currentChanged(int) { calls << __func__; }
    void on_button_15_dsfid_w_clicked() { calls << __func__; }
    void on_button_15_afi_w_clicked() { calls << __func__; }
    void on_txtedit_15_donnees_textEdited(const QString &) { calls << __func__; }
    void on_txtedit_15_afi_w_textEdited(const QString &) { calls << __func__; }
    void on_txtedit_15_dsfid_w_textEdited(const QString &) { calls << __func__; }
    void on_txtedit_mf_donnees_selectionChanged() { calls << __func__; }
    void on_button_img_demod_rlcfg_clicked() { calls << __func__; }
    void on_button_info_img_pressed() { calls << __func__; }
    void on_button_15_write_clicked() { calls << __func__; }
    void on_button_15_read_clicked() { calls << __func__; }
    void on_button_info_img_released() { calls << __func__; }
    void on_txtedit_15_manu_trame_textChanged(const QString &) { calls << __func__; }
    void on_button_15_manu_img_send_clicked() { calls << __func__; }
    void on_button_15_inventory_clicked() { calls << __func__; }
    void on_button_15_img_rlcfg_clicked() { calls << __func__; }
    void on_butt_ctrl_read_clicked() { calls << __func__; }
    void on_txtedit_mf_donnees_textChanged(const QString &) { calls << __func__; }
    void on_button_14_img_rlcfg_clicked() { calls << __func__; }
    void on_button_14_select_clicked() { calls << __func__; }
    void on_button_mf_write_clicked() { calls << __func__; }
    void on_button_mf_read_clicked() { calls << __func__; }
    void on_button_mf_auth_clicked() { calls << __func__; }
    void on_txtedit_mf_cle_textChanged(const QString &) { calls << __func__; }
    void on_txtedit_manu_trame_textChanged(const QString &) { calls << __func__; }
    void on_button_manu_img_send_clicked() { calls << __func__; }
    void on_button_14_anticol2_clicked() { calls << __func__; }
    void on_button_14_anticol1_clicked() { calls << __func__; }
    void on_button_14_scantag_clicked() { calls << __func__; }
    void on_button_14_reqa_clicked() { calls << __func__; }
    void on_button_img_request_demod_clicked() { calls << __func__; }
    void on_button_txt_demod_rlcfg_clicked() { calls << __func__; }
    void on_button_img_send_mod_clicked() { calls << __func__; }
    void on_radio_bnc_man_clicked() { calls << __func__; }
    void on_radio_bnc_manss_clicked() { calls << __func__; }
    void on_radio_bnc_donnes_mod_clicked() { calls << __func__; }
    void on_radio_bnc_donnees_raw_clicked() { calls << __func__; }
    void on_radio_modsel_donnees_clicked() { calls << __func__; }
    void on_radio_modsel_low_clicked() { calls << __func__; }
    void on_radio_modsel_high_clicked() { calls << __func__; }
    void on_radio_codbit_4_clicked() { calls << __func__; }
    void on_radio_codbit_256_clicked() { calls << __func__; }
    void on_radio_codbit_nrz_clicked() { calls << __func__; }
    void on_radio_codbit_miller_clicked() { calls << __func__; }
    void on_button_img_port_deco_clicked() { calls << __func__; }
    void on_button_img_port_connect_clicked() { calls << __func__; }
    void on_pushButton_clicked() { calls << __func__; }
    void on_button_img_refreshportlist_clicked() { calls << __func__; }
    void on_comboBox_port_editTextChanged(const QString &) { calls << __func__; }
};

namespace {

// Everything the toolkit says while a form is built.
QStringList messagesDuringSetup;

void recordMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    messagesDuringSetup << message;
}

struct Form
{
    SlotWindow window;
    MainWindowUi ui;

    Form()
    {
        const QtMessageHandler previous = qInstallMessageHandler(recordMessage);
        ui.setupUi(&window);
        qInstallMessageHandler(previous);
    }

    template <class T = QWidget>
    T *find(const QString &name) const
    {
        T *found = window.findChild<T *>(name);
        if (!found)
            qWarning("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
        return found;
    }

    QLineEdit *field(const QString &name) const { return find<QLineEdit>(name); }
};

// The widgets that the form names: Qt's own inner widgets carry "qt_" names
// or none at all.
bool isFormName(const QString &name)
{
    static const QRegularExpression formNames(QStringLiteral(
        "^(centralWidget|onglet_main_widget|comboBox_port|pushButton(_2)?|"
        "(img|txtedit|label|labe|button|butt|radio|frame|tab|line|ctrl)_.+)$"));
    return formNames.match(name).hasMatch();
}

QList<QWidget *> formWidgets(const QMainWindow &window)
{
    QList<QWidget *> widgets;
    for (QWidget *widget : window.findChildren<QWidget *>())
        if (isFormName(widget->objectName()))
            widgets << widget;
    return widgets;
}

QString normalisedMask(const QString &mask)
{
    QLineEdit probe;
    probe.setInputMask(mask);
    return probe.inputMask();
}

// Records which strings the form asks to have translated, and in which
// context, while translating nothing.
class RecordingTranslator : public QTranslator
{
public:
    mutable QSet<QString> contexts;
    mutable QSet<QString> sources;

    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        contexts << QString::fromUtf8(context);
        sources << QString::fromUtf8(sourceText);
        return QString();
    }
    bool isEmpty() const override { return false; }
};

using MemberOf = QObject *(*)(const MainWindowUi &);

} // namespace

Q_DECLARE_METATYPE(MemberOf)

#define MEMBER(name) static_cast<MemberOf>([](const MainWindowUi &ui) -> QObject * { return ui.name; })

class TestForm : public QObject
{
    Q_OBJECT

private slots:
    // --- the window -------------------------------------------------------

    void buildsWithoutAnyWarningOrSlotCall()
    {
        messagesDuringSetup.clear();
        Form form;
        // A sheet is parsed when its widget is polished, which building does
        // for the first page only: polish every widget while listening.
        const QtMessageHandler previous = qInstallMessageHandler(recordMessage);
        form.window.ensurePolished();
        for (QWidget *widget : form.window.findChildren<QWidget *>())
            widget->ensurePolished();
        qInstallMessageHandler(previous);
        // A misspelt name would leave a slot unbound ("No matching signal"),
        // a broken sheet would say "Could not parse stylesheet".
        QVERIFY2(messagesDuringSetup.isEmpty(), qPrintable(messagesDuringSetup.join(u'\n')));
        // Texts are set before the slots are bound: building reaches none.
        QCOMPARE(form.window.calls, QStringList());
    }

    void windowObjectName_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("kept");
        QTest::newRow("unnamed") << QString() << QStringLiteral("MainWindow");
        QTest::newRow("named") << QStringLiteral("fenetreBanc") << QStringLiteral("fenetreBanc");
    }

    void windowObjectName()
    {
        QFETCH(QString, given);
        QFETCH(QString, kept);
        QMainWindow window;
        window.setObjectName(given);
        MainWindowUi ui;
        ui.setupUi(&window);
        QCOMPARE(window.objectName(), kept);
    }

    void windowHasOneFixedSize()
    {
        Form form;
        QCOMPARE(form.window.size(), QSize(1024, 600));
        QCOMPARE(form.window.minimumSize(), QSize(1024, 600));
        QCOMPARE(form.window.maximumSize(), QSize(1024, 600));
        form.window.resize(1200, 800);
        QCOMPARE(form.window.size(), QSize(1024, 600));
        form.window.resize(640, 480);
        QCOMPARE(form.window.size(), QSize(1024, 600));
        QCOMPARE(form.window.centralWidget(), form.ui.centralWidget);
    }

    void tabsKeepTheirBlanksAndStartOnTheFirstPage()
    {
        Form form;
        QTabWidget *tabs = form.ui.onglet_main_widget;
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->widget(0), form.ui.tab_visu_signaux);
        QCOMPARE(tabs->widget(1), form.ui.tab_14443);
        QCOMPARE(tabs->widget(2), form.ui.tab_15);
        QCOMPARE(tabs->tabText(0), QStringLiteral("  Visualisation des signaux    "));
        QCOMPARE(tabs->tabText(1), QStringLiteral("   Communications ISO14443A   /  Mifare   "));
        QCOMPARE(tabs->tabText(2), QStringLiteral("   Communications  ISO15693    "));
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(tabs->isEnabled());
        QCOMPARE(form.window.windowTitle(), QStringLiteral("TAGBENCH  -  VALORIS Industrie "));
    }

    // --- names, classes and parents --------------------------------------

    void objectNamesAreUnique()
    {
        Form form;
        QSet<QString> seen;
        for (QObject *object : form.window.findChildren<QObject *>()) {
            const QString name = object->objectName();
            if (name.isEmpty())
                continue;
            QVERIFY2(!seen.contains(name), qPrintable(name));
            seen << name;
        }
    }

    void widgetsTheBehaviourUses_data()
    {
        QTest::addColumn<MemberOf>("member");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("parentName");
#define ROW(name, cls, parent) QTest::newRow(#name) << MEMBER(name) << QStringLiteral(cls) << QStringLiteral(parent)
        // Bound to the window's slots by name.
        ROW(onglet_main_widget, "QTabWidget", "centralWidget");
        ROW(button_15_dsfid_w, "QPushButton", "tab_15");
        ROW(button_15_afi_w, "QPushButton", "tab_15");
        ROW(txtedit_mf_donnees, "QLineEdit", "tab_14443");
        ROW(button_img_demod_rlcfg, "QPushButton", "frame_button_demod_rlcfg");
        ROW(button_info_img, "QPushButton", "centralWidget");
        ROW(button_15_write, "QPushButton", "tab_15");
        ROW(button_15_read, "QPushButton", "tab_15");
        ROW(txtedit_15_manu_trame, "QLineEdit", "tab_15");
        ROW(button_15_manu_img_send, "QPushButton", "frame_15_manu_send");
        ROW(button_15_inventory, "QPushButton", "tab_15");
        ROW(button_15_img_rlcfg, "QPushButton", "frame_15_button_rldcfg");
        ROW(butt_ctrl_read, "QPushButton", "centralWidget");
        ROW(button_14_img_rlcfg, "QPushButton", "frame_14_button_rldcfg");
        ROW(button_14_select, "QPushButton", "tab_14443");
        ROW(button_mf_write, "QPushButton", "tab_14443");
        ROW(button_mf_read, "QPushButton", "tab_14443");
        ROW(button_mf_auth, "QPushButton", "tab_14443");
        ROW(txtedit_mf_cle, "QLineEdit", "tab_14443");
        ROW(txtedit_manu_trame, "QLineEdit", "tab_14443");
        ROW(button_manu_img_send, "QPushButton", "frame_manu_send");
        ROW(button_14_anticol2, "QPushButton", "tab_14443");
        ROW(button_14_anticol1, "QPushButton", "tab_14443");
        ROW(button_14_scantag, "QPushButton", "tab_14443");
        ROW(button_14_reqa, "QPushButton", "tab_14443");
        ROW(button_img_request_demod, "QPushButton", "frame_button_demod_request");
        ROW(button_txt_demod_rlcfg, "QPushButton", "frame_button_demod_rlcfg");
        ROW(button_img_send_mod, "QPushButton", "frame_button_mod_send");
        ROW(radio_bnc_man, "QRadioButton", "tab_visu_signaux");
        ROW(radio_bnc_manss, "QRadioButton", "tab_visu_signaux");
        ROW(radio_bnc_donnes_mod, "QRadioButton", "tab_visu_signaux");
        ROW(radio_bnc_donnees_raw, "QRadioButton", "tab_visu_signaux");
        ROW(radio_modsel_donnees, "QRadioButton", "tab_visu_signaux");
        ROW(radio_modsel_low, "QRadioButton", "tab_visu_signaux");
        ROW(radio_modsel_high, "QRadioButton", "tab_visu_signaux");
        ROW(radio_codbit_4, "QRadioButton", "tab_visu_signaux");
        ROW(radio_codbit_256, "QRadioButton", "tab_visu_signaux");
        ROW(radio_codbit_nrz, "QRadioButton", "tab_visu_signaux");
        ROW(radio_codbit_miller, "QRadioButton", "tab_visu_signaux");
        ROW(button_img_port_deco, "QPushButton", "centralWidget");
        ROW(button_img_port_connect, "QPushButton", "centralWidget");
        ROW(pushButton, "QPushButton", "centralWidget");
        ROW(button_img_refreshportlist, "QPushButton", "centralWidget");
        ROW(comboBox_port, "QComboBox", "centralWidget");
        // Read, written, shown or hidden by the window's code.
        ROW(txtedit_port, "QLineEdit", "centralWidget");
        ROW(button_txt_port_deco, "QPushButton", "centralWidget");
        ROW(button_txt_port_connect, "QPushButton", "centralWidget");
        ROW(label_ERREUR_OK, "QLabel", "centralWidget");
        ROW(label_ERREUR, "QLabel", "centralWidget");
        ROW(label_credit_txt, "QLabel", "centralWidget");
        ROW(ctrl_read_adr, "QLineEdit", "centralWidget");
        ROW(ctrl_read_val, "QLineEdit", "centralWidget");
        ROW(txtedit_donnee_mod, "QLineEdit", "tab_visu_signaux");
        ROW(button_14_anticol3, "QPushButton", "tab_14443");
        ROW(txtedit_14_uid, "QLineEdit", "tab_14443");
        ROW(txtedit_14_ATQA, "QLineEdit", "tab_14443");
        ROW(txtedit_14_sak, "QLineEdit", "tab_14443");
        ROW(label_14_uid_incomplet, "QLabel", "tab_14443");
        ROW(label_14_uid_erreur, "QLabel", "tab_14443");
        ROW(label_14_indic_cl1, "QLabel", "tab_14443");
        ROW(label_14_indic_cl2, "QLabel", "tab_14443");
        ROW(label_14_indic_sel, "QLabel", "tab_14443");
        ROW(img_14_tick, "QLabel", "tab_14443");
        ROW(txtedit_mf_block, "QLineEdit", "tab_14443");
        ROW(txtedit_mf_secteur, "QLineEdit", "tab_14443");
        ROW(label_mf_secteur, "QLabel", "tab_14443");
        ROW(txtedit_manu_bitframing, "QLineEdit", "tab_14443");
        ROW(txtedit_manu_chanred, "QLineEdit", "tab_14443");
        ROW(txtedit_manu_collpos, "QLineEdit", "tab_14443");
        ROW(label_manu_chanred_2, "QLabel", "tab_14443");
        ROW(txtedit_manu_reponse, "QLineEdit", "tab_14443");
        ROW(frame_manu_send, "QFrame", "tab_14443");
        ROW(txtedit_15_flag, "QLineEdit", "tab_15");
        ROW(txtedit_15_afi, "QLineEdit", "tab_15");
        ROW(txtedit_15_uid, "QLineEdit", "tab_15");
        ROW(txtedit_15_uid_2, "QLineEdit", "tab_15");
        ROW(txtedit_15_dsfid, "QLineEdit", "tab_15");
        ROW(txtedit_15_dsfid_2, "QLineEdit", "tab_15");
        ROW(txtedit_15_secteur, "QLineEdit", "tab_15");
        ROW(txtedit_15_donnees, "QLineEdit", "tab_15");
        ROW(txtedit_15_afi_w, "QLineEdit", "tab_15");
        ROW(txtedit_15_dsfid_w, "QLineEdit", "tab_15");
        ROW(txtedit_15_manu_bitframing, "QLineEdit", "tab_15");
        ROW(txtedit_15_manu_chanred, "QLineEdit", "tab_15");
        ROW(txtedit_15_manu_collpos, "QLineEdit", "tab_15");
        ROW(txtedit_15_manu_reponse, "QLineEdit", "tab_15");
        ROW(frame_15_manu_send, "QFrame", "tab_15");
#undef ROW
    }

    void widgetsTheBehaviourUses()
    {
        QFETCH(MemberOf, member);
        QFETCH(QString, className);
        QFETCH(QString, parentName);
        Form form;
        const QString name = QString::fromUtf8(QTest::currentDataTag());
        QObject *object = member(form.ui);
        QVERIFY(object);
        QCOMPARE(object->objectName(), name);
        QCOMPARE(form.window.findChildren<QObject *>(name).size(), 1);
        QCOMPARE(QString::fromUtf8(object->metaObject()->className()), className);
        QCOMPARE(object->parent()->objectName(), parentName);
    }

    // --- slots bound by name, and the form's own connections --------------

    void slotsAreBoundByName_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("calls");
        const auto clickRow = [](const char *name, QStringList calls) {
            QTest::newRow(name) << QString::fromUtf8(name) << QStringLiteral("click") << calls;
        };
        const auto click = [&](const char *name) {
            clickRow(name, {QStringLiteral("on_%1_clicked").arg(QString::fromUtf8(name))});
        };
        for (const char *name : {"button_15_dsfid_w", "button_15_afi_w", "button_15_write", "button_15_read",
                                 "button_15_manu_img_send", "button_15_inventory", "button_15_img_rlcfg",
                                 "butt_ctrl_read", "button_14_img_rlcfg", "button_14_select", "button_mf_write",
                                 "button_mf_read", "button_mf_auth", "button_manu_img_send", "button_14_anticol2",
                                 "button_14_anticol1", "button_14_scantag", "button_14_reqa",
                                 "button_img_request_demod", "button_txt_demod_rlcfg", "button_img_send_mod",
                                 "radio_bnc_man", "radio_bnc_manss", "radio_bnc_donnes_mod", "radio_bnc_donnees_raw",
                                 "radio_modsel_donnees", "radio_modsel_low", "radio_modsel_high", "radio_codbit_4",
                                 "radio_codbit_256", "radio_codbit_nrz", "radio_codbit_miller",
                                 "button_img_port_deco", "button_img_port_connect", "pushButton",
                                 "button_img_refreshportlist"})
            click(name);
        // The reload picture first sets its three radio buttons, each through
        // its own slot, and only then runs its own slot.
        clickRow("button_img_demod_rlcfg", {"on_radio_bnc_man_clicked", "on_radio_codbit_miller_clicked",
                                            "on_radio_modsel_donnees_clicked", "on_button_img_demod_rlcfg_clicked"});
        clickRow("button_info_img", {"on_button_info_img_pressed", "on_button_info_img_released"});
        // The second web-site button clicks the first one at once.
        QTest::newRow("pushButton_2") << QStringLiteral("pushButton_2") << QStringLiteral("click")
                                      << QStringList{"on_pushButton_clicked"};
        for (const char *name : {"txtedit_mf_donnees", "txtedit_mf_cle", "txtedit_manu_trame", "txtedit_15_manu_trame"})
            QTest::newRow((QByteArray(name) + " text").constData())
                << QString::fromUtf8(name) << QStringLiteral("text")
                << QStringList{QStringLiteral("on_%1_textChanged").arg(QString::fromUtf8(name))};
        QTest::newRow("txtedit_mf_donnees selection") << QStringLiteral("txtedit_mf_donnees") << QStringLiteral("select")
                                                      << QStringList{"on_txtedit_mf_donnees_selectionChanged"};
        QTest::newRow("comboBox_port") << QStringLiteral("comboBox_port") << QStringLiteral("edit")
                                       << QStringList{"on_comboBox_port_editTextChanged"};
        QTest::newRow("onglet_main_widget") << QStringLiteral("onglet_main_widget") << QStringLiteral("page")
                                            << QStringList{"on_onglet_main_widget_currentChanged"};
    }

    void slotsAreBoundByName()
    {
        QFETCH(QString, widget);
        QFETCH(QString, action);
        QFETCH(QStringList, calls);
        Form form;
        QWidget *target = form.find(widget);
        QVERIFY(target);
        // Buttons built disabled, and those in disabled frames, would swallow
        // the click: the window enables them when their time comes.
        for (QWidget *w = target; w && w != form.ui.centralWidget; w = w->parentWidget())
            w->setEnabled(true);

        if (action == u"click") {
            qobject_cast<QAbstractButton *>(target)->click();
        } else if (action == u"text") {
            qobject_cast<QLineEdit *>(target)->setText(QStringLiteral("26"));
        } else if (action == u"select") {
            qobject_cast<QLineEdit *>(target)->selectAll();
        } else if (action == u"edit") {
            qobject_cast<QComboBox *>(target)->setEditText(QStringLiteral("COM3"));
        } else if (action == u"page") {
            qobject_cast<QTabWidget *>(target)->setCurrentIndex(1);
        }
        QCOMPARE(form.window.calls, calls);
    }

    void reloadPictureSelectsTheTypeADefaultsBeforeItsSlot()
    {
        Form form;
        form.ui.radio_bnc_manss->setChecked(true);
        form.ui.radio_codbit_256->setChecked(true);
        form.ui.radio_modsel_high->setChecked(true);
        form.ui.button_img_demod_rlcfg->click();
        QVERIFY(form.ui.radio_bnc_man->isChecked());
        QVERIFY(form.ui.radio_codbit_miller->isChecked());
        QVERIFY(form.ui.radio_modsel_donnees->isChecked());
        QCOMPARE(form.window.calls.last(), QStringLiteral("on_button_img_demod_rlcfg_clicked"));
    }

    void textButtonsAnimateTheirPictureButton_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QStringList>("callsAtOnce");
        QTest::addColumn<QStringList>("callsAfterAnimation");
        const auto row = [](const char *text, const char *picture, QStringList atOnce, QStringList after) {
            QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(picture) << atOnce << after;
        };
        row("button_txt_send_mod", "button_img_send_mod", {}, {"on_button_img_send_mod_clicked"});
        row("button_txt_request_demod", "button_img_request_demod", {}, {"on_button_img_request_demod_clicked"});
        row("button_txt_demod_rlcfg", "button_img_demod_rlcfg", {"on_button_txt_demod_rlcfg_clicked"},
            {"on_button_txt_demod_rlcfg_clicked", "on_radio_bnc_man_clicked", "on_radio_codbit_miller_clicked",
             "on_radio_modsel_donnees_clicked", "on_button_img_demod_rlcfg_clicked"});
        row("button_14_txt_rlcfg", "button_14_img_rlcfg", {}, {"on_button_14_img_rlcfg_clicked"});
        row("button_manu_txt_send", "button_manu_img_send", {}, {"on_button_manu_img_send_clicked"});
        row("button_15_txt_rlcfg", "button_15_img_rlcfg", {}, {"on_button_15_img_rlcfg_clicked"});
        row("button_15_manu_txt_send", "button_15_manu_img_send", {}, {"on_button_15_manu_img_send_clicked"});
    }

    void textButtonsAnimateTheirPictureButton()
    {
        QFETCH(QString, text);
        QFETCH(QString, picture);
        QFETCH(QStringList, callsAtOnce);
        QFETCH(QStringList, callsAfterAnimation);
        Form form;
        auto *textButton = form.find<QPushButton>(text);
        auto *pictureButton = form.find<QPushButton>(picture);
        QVERIFY(textButton && pictureButton);
        QCOMPARE(textButton->parentWidget(), pictureButton->parentWidget());
        pictureButton->setEnabled(true);
        pictureButton->parentWidget()->setEnabled(true);

        textButton->click();
        // The picture is shown pressed first; its click comes when the
        // animation ends.
        QVERIFY(pictureButton->isDown());
        QCOMPARE(form.window.calls, callsAtOnce);
        QTRY_COMPARE(form.window.calls, callsAfterAnimation);
        QVERIFY(!pictureButton->isDown());
    }

    // --- fields -----------------------------------------------------------

    void fieldsStartWithTheirTextsAndMasks_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<bool>("readOnly");
        const QString hex35 = QStringLiteral("HHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHH ; ");
        const auto row = [](const char *field, const QString &mask, const QString &text, int maxLength, bool readOnly) {
            QTest::newRow(field) << QString::fromUtf8(field) << mask << text << maxLength << readOnly;
        };
        row("txtedit_port", QString(), "/dev/ttyUSB0", 32767, false);
        row("ctrl_read_adr", "HH ; ", "FF ", 3, false);
        row("ctrl_read_val", "HH ; ", "FF ", 3, false);
        row("txtedit_donnee_mod", "HH ; ", "FF ", 3, false);
        // Result fields of the type A page show only their fixed "0x".
        row("txtedit_14_uid", "\\0\\x>HHHHHHHHHHHHHHHH; ", "0x", 18, true);
        row("txtedit_14_ATQA", "\\0\\x>HHHH ; ", "0x ", 7, true);
        row("txtedit_14_sak", "\\0\\x>HH ; ", "0x ", 5, true);
        row("txtedit_mf_cle", ">HHHHHHHHHHHH; ", "3C5E7A91B2D4", 12, false);
        row("txtedit_mf_donnees", ">HHHHHHHHHHHHHHHHHHHHHHHHHHHHHHHH; ", "00000000000000000000000000000000", 32, false);
        row("txtedit_mf_block", "99; ", "00", 2, false);
        row("txtedit_mf_secteur", "99; ", "00", 2, false);
        row("txtedit_manu_bitframing", "HH ; ", "00 ", 3, false);
        row("txtedit_manu_chanred", "HH ; ", "03 ", 3, false);
        row("txtedit_manu_collpos", "HH ; ", "00 ", 3, true);
        row("txtedit_manu_trame", hex35, " ", 36, false);
        row("txtedit_manu_reponse", ">HHHHHHHHHHHHHHHHHHHH; ", "", 20, true);
        row("txtedit_15_flag", "HH; ", "26", 2, false);
        row("txtedit_15_afi", "HH; ", "00", 2, false);
        row("txtedit_15_uid", "\\0\\x>HHHHHHHHHHHHHHHH ; ", "0x ", 19, true);
        row("txtedit_15_uid_2", "\\0\\x>HHHHHHHHHHHHHHHH ; ", "0x ", 19, true);
        row("txtedit_15_dsfid", "\\0\\x>HH; ", "0x", 4, true);
        row("txtedit_15_dsfid_2", "\\0\\x>HH; ", "0x", 4, true);
        row("txtedit_15_secteur", ">HH; ", "00", 2, false);
        row("txtedit_15_donnees", ">HHHHHHHH; ", "00000000", 8, false);
        row("txtedit_15_afi_w", ">HH; ", "00", 2, false);
        row("txtedit_15_dsfid_w", ">HH; ", "00", 2, false);
        row("txtedit_15_manu_bitframing", "HH ; ", "00 ", 3, false);
        row("txtedit_15_manu_chanred", "HH ; ", "03 ", 3, false);
        row("txtedit_15_manu_collpos", "HH ; ", "2E ", 3, true);
        row("txtedit_15_manu_trame", hex35, " ", 36, false);
        row("txtedit_15_manu_reponse", ">HHHHHHHHHHHHHHHHHHHH; ", "", 20, true);
    }

    void fieldsStartWithTheirTextsAndMasks()
    {
        QFETCH(QString, field);
        QFETCH(QString, mask);
        QFETCH(QString, text);
        QFETCH(int, maxLength);
        QFETCH(bool, readOnly);
        Form form;
        QLineEdit *edit = form.field(field);
        QVERIFY(edit);
        QCOMPARE(edit->inputMask(), normalisedMask(mask));
        QCOMPARE(edit->text(), text);
        QCOMPARE(edit->maxLength(), maxLength);
        QCOMPARE(edit->isReadOnly(), readOnly);
    }

    // The fixed "0x" in front of a result field swallows a leading "0" of
    // the text it is given; the window's code puts one extra "0" in front.
    void literalPrefixTakesALeadingZero_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("shown");
        QTest::newRow("SAK with extra zero") << "txtedit_14_sak" << "0" "08" << "0x08 ";
        QTest::newRow("SAK without") << "txtedit_14_sak" << "08" << "0x8 ";
        QTest::newRow("ATQA") << "txtedit_14_ATQA" << "0" "0004" << "0x0004 ";
        QTest::newRow("UID upper-cased") << "txtedit_14_uid" << "0" "04a1b2c3" << "0x04A1B2C3";
        QTest::newRow("UID 8 bytes") << "txtedit_14_uid" << "0" "0102030405060708" << "0x0102030405060708";
        QTest::newRow("UID too long") << "txtedit_14_uid" << "0" "010203040506070809" << "0x0102030405060708";
        QTest::newRow("15693 UID") << "txtedit_15_uid" << "0" "e004010012345678" << "0xE004010012345678 ";
        QTest::newRow("DSFID") << "txtedit_15_dsfid_2" << "0" "00" << "0x00";
        QTest::newRow("answer, no prefix") << "txtedit_manu_reponse" << "0a04" << "0A04";
    }

    void literalPrefixTakesALeadingZero()
    {
        QFETCH(QString, field);
        QFETCH(QString, given);
        QFETCH(QString, shown);
        Form form;
        QLineEdit *edit = form.field(field);
        QVERIFY(edit);
        edit->setText(given);
        QCOMPARE(edit->text(), shown);
    }

    void typingKeepsToTheMask_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("one byte, third refused") << "txtedit_donnee_mod" << "a1f" << "a1 ";
        QTest::newRow("not hexadecimal") << "txtedit_manu_bitframing" << "g0z7" << "07 ";
        QTest::newRow("key upper-cased") << "txtedit_mf_cle" << "3c5e7a91b2d4ff" << "3C5E7A91B2D4";
        QTest::newRow("block decimal") << "txtedit_mf_block" << "a1b2c" << "12";
        QTest::newRow("AFI write hexadecimal") << "txtedit_15_afi_w" << "ff42" << "FF";
        QTest::newRow("DSFID write hexadecimal") << "txtedit_15_dsfid_w" << "E9" << "E9";
        QTest::newRow("block number hexadecimal") << "txtedit_15_secteur" << "a1b2" << "A1";
        QTest::newRow("inventory AFI hexadecimal") << "txtedit_15_afi" << "fe" << "fe";
        QTest::newRow("frame 35 digits") << "txtedit_manu_trame" << QString(40, u'a') << QString(35, u'a') + u' ';
    }

    void typingKeepsToTheMask()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        Form form;
        QLineEdit *edit = form.field(field);
        QVERIFY(edit);
        edit->setText(QString());
        edit->setCursorPosition(0);
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), kept);
    }

    void languageChangeResetsTheFieldsItNames_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("reset");
        const auto row = [](const char *field, const char *value, bool reset) {
            QTest::newRow(field) << QString::fromUtf8(field) << QString::fromUtf8(value) << reset;
        };
        row("txtedit_mf_cle", "FFFFFFFFFFFF", true);
        row("txtedit_mf_donnees", "0102030405060708090A0B0C0D0E0F10", true);
        row("txtedit_mf_block", "12", true);
        row("txtedit_mf_secteur", "03", true);
        row("txtedit_manu_trame", "9320", true);
        row("txtedit_15_flag", "16", true);
        row("txtedit_15_afi", "0A", true);
        row("txtedit_15_secteur", "05", true);
        row("txtedit_15_donnees", "DEADBEEF", true);
        row("txtedit_15_afi_w", "12", true);
        row("txtedit_15_dsfid_w", "34", true);
        row("txtedit_15_manu_trame", "260100", true);
        row("txtedit_15_uid", "0e004010012345678", true);
        row("txtedit_15_uid_2", "0e004010087654321", true);
        row("txtedit_15_dsfid", "001", true);
        row("txtedit_15_dsfid_2", "002", true);
        // Fields whose text is not the form's to give keep what they hold.
        row("txtedit_14_uid", "004a1b2c3", false);
        row("txtedit_14_ATQA", "00044", false);
        row("txtedit_14_sak", "008", false);
        row("txtedit_manu_reponse", "0400", false);
        row("txtedit_manu_bitframing", "07", false);
        row("txtedit_manu_chanred", "0F", false);
        row("txtedit_15_manu_reponse", "00", false);
        row("txtedit_15_manu_chanred", "0B", false);
        row("txtedit_donnee_mod", "A5", false);
        row("ctrl_read_adr", "0A", false);
        row("txtedit_port", "/dev/ttyACM0", false);
    }

    void languageChangeResetsTheFieldsItNames()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(bool, reset);
        Form form;
        QLineEdit *edit = form.field(field);
        QVERIFY(edit);
        const QString initial = edit->text();
        const QString mask = edit->inputMask();
        edit->setText(value);
        const QString changed = edit->text();
        QVERIFY(changed != initial);

        form.ui.retranslateUi(&form.window);
        QCOMPARE(edit->text(), reset ? initial : changed);
        QCOMPARE(edit->inputMask(), mask);
    }

    void everyTextGoesThroughTheWindowsTranslationContext()
    {
        Form form;
        RecordingTranslator translator;
        QCoreApplication::installTranslator(&translator);
        // Installing it has the toolkit look up its own texts; only the
        // form's count here.
        translator.contexts.clear();
        translator.sources.clear();
        form.ui.retranslateUi(&form.window);
        QCoreApplication::removeTranslator(&translator);

        QCOMPARE(translator.contexts, QSet<QString>{QStringLiteral("MainWindow")});
        QStringList shown{form.window.windowTitle()};
        for (int i = 0; i < form.ui.onglet_main_widget->count(); ++i)
            shown << form.ui.onglet_main_widget->tabText(i);
        for (QWidget *widget : formWidgets(form.window)) {
            if (auto *label = qobject_cast<QLabel *>(widget))
                shown << label->text();
            if (auto *button = qobject_cast<QAbstractButton *>(widget))
                shown << button->text();
            shown << widget->toolTip();
        }
        shown.removeAll(QString());
        QVERIFY(shown.size() > 80);
        for (const QString &text : std::as_const(shown))
            QVERIFY2(translator.sources.contains(text), qPrintable(text));
    }

    // --- groups, stacking, state -----------------------------------------

    void buttonGroups_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QStringList>("members");
        QTest::addColumn<QString>("checked");
        QTest::newRow("codbit") << "buttonGroup_radio_codbit"
                                << QStringList{"radio_codbit_miller", "radio_codbit_nrz", "radio_codbit_256", "radio_codbit_4"}
                                << "radio_codbit_miller";
        QTest::newRow("modsel") << "buttonGroup_radio_modsel"
                                << QStringList{"radio_modsel_high", "radio_modsel_low", "radio_modsel_donnees"}
                                << "radio_modsel_donnees";
        QTest::newRow("bnc") << "buttonGroup_radio_bnc"
                             << QStringList{"radio_bnc_donnes_mod", "radio_bnc_man", "radio_bnc_donnees_raw", "radio_bnc_manss"}
                             << "radio_bnc_donnees_raw";
        QTest::newRow("15 sel") << "buttonGroup_radio_15_sel"
                                << QStringList{"radio_15_sel_1", "radio_15_sel_2", "radio_15_sel_all"}
                                << "radio_15_sel_all";
    }

    void buttonGroups()
    {
        QFETCH(QString, group);
        QFETCH(QStringList, members);
        QFETCH(QString, checked);
        Form form;
        auto *buttonGroup = form.window.findChild<QButtonGroup *>(group, Qt::FindDirectChildrenOnly);
        QVERIFY2(buttonGroup, "the window owns its groups");
        QVERIFY(buttonGroup->exclusive());
        QStringList names;
        for (QAbstractButton *button : buttonGroup->buttons())
            names << button->objectName();
        QCOMPARE(names, members);
        QCOMPARE(buttonGroup->checkedButton()->objectName(), checked);

        // One checked at a time, whichever is clicked.
        for (QAbstractButton *button : buttonGroup->buttons()) {
            button->click();
            QCOMPARE(buttonGroup->checkedButton(), button);
            for (QAbstractButton *other : buttonGroup->buttons())
                QCOMPARE(other->isChecked(), other == button);
        }
    }

    void overlappingWidgetsLieTheRightWayUp_data()
    {
        QTest::addColumn<QString>("below");
        QTest::addColumn<QString>("above");
        QTest::newRow("connect picture") << "button_img_port_deco" << "button_img_port_connect";
        QTest::newRow("connect text") << "button_txt_port_deco" << "button_txt_port_connect";
        QTest::newRow("status") << "label_ERREUR_OK" << "label_ERREUR";
        QTest::newRow("uid status") << "label_14_uid_incomplet" << "label_14_uid_erreur";
        QTest::newRow("logo over tabs") << "onglet_main_widget" << "img_logo_valoris";
        QTest::newRow("info over band") << "img_bandeau_top" << "button_info_img";
        QTest::newRow("web-site buttons") << "pushButton" << "pushButton_2";
        QTest::newRow("reload picture over text") << "button_14_txt_rlcfg" << "button_14_img_rlcfg";
        QTest::newRow("send text over picture") << "button_img_send_mod" << "button_txt_send_mod";
    }

    void overlappingWidgetsLieTheRightWayUp()
    {
        QFETCH(QString, below);
        QFETCH(QString, above);
        Form form;
        QWidget *lower = form.find(below);
        QWidget *upper = form.find(above);
        QVERIFY(lower && upper);
        QCOMPARE(lower->parentWidget(), upper->parentWidget());
        QVERIFY(lower->geometry().intersects(upper->geometry()));
        const QObjectList &siblings = lower->parentWidget()->children();
        QVERIFY(siblings.indexOf(lower) < siblings.indexOf(upper));
    }

    void startsEnabledAndVisibleButForTheNamedFew()
    {
        Form form;
        const QSet<QString> disabled{"button_mf_write", "button_14_anticol2", "button_14_anticol3",
                                     "frame_manu_send", "button_manu_img_send", "frame_15_manu_send"};
        QSet<QString> foundDisabled;
        for (QWidget *widget : formWidgets(form.window)) {
            // The tab widget itself hides the pages not shown.
            if (form.ui.onglet_main_widget->indexOf(widget) < 0)
                QVERIFY2(!widget->isHidden(), qPrintable(widget->objectName()));
            if (widget->testAttribute(Qt::WA_ForceDisabled))
                foundDisabled << widget->objectName();
        }
        QCOMPARE(foundDisabled, disabled);
        QVERIFY(!form.ui.button_manu_txt_send->isEnabled());
        QVERIFY(!form.ui.button_15_manu_txt_send->isEnabled());
    }

    void keyboardFocusStaysOnTheFields()
    {
        Form form;
        for (QWidget *widget : formWidgets(form.window)) {
            if (qobject_cast<QAbstractButton *>(widget) && widget != form.ui.butt_ctrl_read)
                QVERIFY2(widget->focusPolicy() == Qt::NoFocus, qPrintable(widget->objectName()));
            if (qobject_cast<QLineEdit *>(widget))
                QVERIFY2(widget->focusPolicy() & Qt::TabFocus, qPrintable(widget->objectName()));
        }
        QCOMPARE(form.ui.onglet_main_widget->focusPolicy(), Qt::NoFocus);
        QVERIFY(form.ui.butt_ctrl_read->focusPolicy() & Qt::TabFocus);
        QVERIFY(form.ui.comboBox_port->focusPolicy() & Qt::TabFocus);
    }

    void webSiteButtonsNameTheMakersHost()
    {
        Form form;
        const QString host = QString::fromUtf8(MakerSite::host);
        QCOMPARE(form.ui.pushButton->toolTip(), QStringLiteral("aller à ") + host);
        QCOMPARE(form.ui.pushButton_2->toolTip(), QStringLiteral("aller à ") + host);
        QCOMPARE(form.ui.pushButton_2->text(), QStringLiteral("-  ") + host);
        QVERIFY(QString::fromUtf8(MakerSite::address).endsWith(QStringLiteral("//") + host));
        QVERIFY(form.ui.label_credit_txt->text().contains(u"TAGBENCH"));
        QVERIFY(form.ui.label_credit_txt->text().contains(u"1.01"));
    }

    // The card pages give every widget a 1-pixel border; captions, radio
    // buttons and pictures clear it again, so that only fields, buttons and
    // the framed anticollision button show an edge.
    void captionsOnTheCardPagesShowNoBorder_data()
    {
        QTest::addColumn<QString>("widget");
        for (const char *name : {"label_14_cmd_iso", "label_14_sak", "label_mf_cle", "label_14_uid_erreur",
                                 "label_14_indic_cl1", "label_15_uid", "labe_15_flag", "label_15_manu_collpos",
                                 "radio_15_sel_1"})
            QTest::newRow(name) << QString::fromUtf8(name);
    }

    void captionsOnTheCardPagesShowNoBorder()
    {
        QFETCH(QString, widget);
        Form form;
        QWidget *caption = form.find(widget);
        QVERIFY(caption);
        const QImage image = caption->grab().toImage();
        const int middle = image.height() / 2;
        // A border would draw the edge in black or in the text's colour; the
        // page shows through white, or the widget is clear.
        for (const QColor edge : {image.pixelColor(0, middle), image.pixelColor(image.width() - 1, middle)})
            QVERIFY2(edge.alpha() == 0 || edge.lightness() > 240, qPrintable(edge.name(QColor::HexArgb)));
    }

    void theFramedButtonKeepsItsBorder()
    {
        Form form;
        const QImage image = form.ui.button_14_anticol3->grab().toImage();
        QCOMPARE(image.pixelColor(0, image.height() / 2), QColor(74, 172, 201));
    }

    // --- pictures and fonts -----------------------------------------------

    void picturesComeFromTheCollection()
    {
        if (!QFile::exists(QStringLiteral(":/img/img/tag.png")))
            QSKIP("the picture collection is not linked into this build");
        Form form;
        int pictures = 0;
        for (QWidget *widget : formWidgets(form.window)) {
            // The band is a colour; the message line is empty until an action speaks.
            if (auto *label = qobject_cast<QLabel *>(widget); label && label->text().isEmpty()
                && label != form.ui.img_bandeau_top && label != form.ui.label_message) {
                QVERIFY2(!label->pixmap().isNull(), qPrintable(label->objectName()));
                ++pictures;
            }
            // ":/img/img/scan.png" is not one of the collection's pictures.
            if (auto *button = qobject_cast<QAbstractButton *>(widget);
                button && !button->icon().isNull() && button != form.ui.button_14_scantag) {
                QVERIFY2(!button->icon().pixmap(QSize(16, 16)).isNull(), qPrintable(button->objectName()));
                ++pictures;
            }
        }
        QVERIFY(pictures >= 30);
        QVERIFY(!form.window.windowIcon().pixmap(QSize(16, 16)).isNull());
        QVERIFY(QFile::exists(QStringLiteral(":/img/img/downarrow.png")));
    }

    void picturesReachBeyondTheirFrames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QPoint>("position");
        QTest::newRow("top band") << "img_bandeau_top" << QPoint(-9, 0);
        QTest::newRow("type A reload") << "button_14_img_rlcfg" << QPoint(0, -30);
        QTest::newRow("ISO 15693 reload") << "button_15_img_rlcfg" << QPoint(0, -30);
        QTest::newRow("ISO 15693 send") << "button_15_manu_img_send" << QPoint(0, -20);
        QTest::newRow("send byte") << "button_img_send_mod" << QPoint(0, -10);
        QTest::newRow("reload ISO14443A") << "button_img_demod_rlcfg" << QPoint(0, -30);
        QTest::newRow("request") << "button_img_request_demod" << QPoint(0, -40);
    }

    // Some pictures start outside their frame and are clipped there, as drawn.
    void picturesReachBeyondTheirFrames()
    {
        QFETCH(QString, name);
        QFETCH(QPoint, position);
        Form form;
        QWidget *picture = form.find(name);
        QVERIFY(picture);
        if (position.x() != 0)
            QCOMPARE(picture->x(), position.x());
        QCOMPARE(picture->y(), position.y());
        QVERIFY(!picture->parentWidget()->rect().contains(picture->geometry()));
        if (name == u"img_bandeau_top") {
            QCOMPARE(picture->width(), 1051);
            QCOMPARE(picture->parentWidget(), form.ui.centralWidget);
        }
    }

    void scanButtonIsAnEmptyFlatButtonWithoutPicture()
    {
        Form form;
        QPushButton *scan = form.ui.button_14_scantag;
        QCOMPARE(scan->size(), QSize(31, 21));
        QVERIFY(scan->isFlat());
        QVERIFY(scan->text().isEmpty());
        QVERIFY(scan->icon().pixmap(QSize(16, 16)).isNull());
        QVERIFY(scan->isEnabled());
        scan->click();
        QCOMPARE(form.window.calls, QStringList { QStringLiteral("on_button_14_scantag_clicked") });
    }

    void portListDrawsItsArrowFromTheCollection()
    {
        Form form;
        const QString sheet = form.ui.comboBox_port->styleSheet();
        QVERIFY(sheet.contains(QStringLiteral("QComboBox::down-arrow {\nimage: url(:/img/img/downarrow.png);\nheight:12px;\nwidth:12px\n}")));
        QCOMPARE(QImage(QStringLiteral(":/img/img/downarrow.png")).isNull(), false);
    }

    // The layout is drawn for Arial's widths; on Linux a metric twin stands in.
    void arialResolvesToAMetricCompatibleFont()
    {
        Form form;
        const QString family = QFontInfo(form.ui.label_14_sak->font()).family();
        QVERIFY2(family == u"Arial" || family == u"Liberation Sans",
                 qPrintable(family + QStringLiteral(" stands in for Arial: install fonts-liberation")));
    }
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"

#include "mainwindowui.h"

#include "formbuilders.h"
#include "formstyles.h"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMetaObject>
#include <QPushButton>
#include <QRadioButton>
#include <QSizePolicy>
#include <QTabWidget>

using namespace FormBuilders;
using namespace FormStyles;

void MainWindowUi::setupUi(QMainWindow *MainWindow)
{
    setupWindow(MainWindow);

    setupFrameTop();
    setupVisualisationPage(MainWindow);
    onglet_main_widget->addTab(tab_visu_signaux, QString());
    setupIso14443aPage();
    onglet_main_widget->addTab(tab_14443, QString());
    setupIso15693Page(MainWindow);
    onglet_main_widget->addTab(tab_15, QString());
    setupRegisterReadControl();
    setupFrameBottom();

    MainWindow->setCentralWidget(centralWidget);
    raiseFrameWidgets();

    retranslateUi(MainWindow);
    connectForm();
    onglet_main_widget->setCurrentIndex(0);

    // Last, so that the form's own connections of a signal run before the
    // window's slot for it, and nothing set above reaches a slot.
    QMetaObject::connectSlotsByName(MainWindow);
}

void MainWindowUi::retranslateUi(QMainWindow *MainWindow)
{
    retranslateFrameTop(MainWindow);
    retranslateVisualisationPage();
    retranslateIso14443aPage();
    retranslateIso15693Page();
    retranslateRegisterReadControl();
    retranslateFrameBottom();
    retranslateTabTitles();
}

// The window and its central widget have one fixed size: every widget below
// sits at a fixed rectangle and nothing may move or stretch.
void MainWindowUi::setupWindow(QMainWindow *MainWindow)
{
    if (MainWindow->objectName().isEmpty())
        MainWindow->setObjectName(QString::fromUtf8("MainWindow"));
    MainWindow->resize(1024, 600);
    QSizePolicy windowPolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    windowPolicy.setHeightForWidth(MainWindow->sizePolicy().hasHeightForWidth());
    MainWindow->setSizePolicy(windowPolicy);
    MainWindow->setMinimumSize(QSize(1024, 600));
    MainWindow->setMaximumSize(QSize(1024, 600));
    QIcon windowIcon;
    windowIcon.addFile(QString::fromUtf8(":/img/img/tag.png"), QSize(), QIcon::Normal, QIcon::Off);
    MainWindow->setWindowIcon(windowIcon);
    MainWindow->setAutoFillBackground(false);
    MainWindow->setStyleSheet(QString::fromUtf8(sheet_window));
    MainWindow->setIconSize(QSize(117, 117));
    MainWindow->setAnimated(false);
    MainWindow->setDocumentMode(false);
    MainWindow->setTabShape(QTabWidget::Rounded);

    centralWidget = new QWidget(MainWindow);
    centralWidget->setObjectName(QString::fromUtf8("centralWidget"));
    QSizePolicy centralPolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    centralPolicy.setHeightForWidth(centralWidget->sizePolicy().hasHeightForWidth());
    centralWidget->setSizePolicy(centralPolicy);
    centralWidget->setContextMenuPolicy(Qt::NoContextMenu);
    centralWidget->setStyleSheet(QString::fromUtf8(sheet_window));
}

void MainWindowUi::setupFrameTop()
{
    img_bandeau_top    = make<QLabel>(centralWidget, "img_bandeau_top", {-9, 0, 1051, 16}).sheet(sheet_banner).scaled();
    img_logo_valoris   = make<QLabel>(centralWidget, "img_logo_valoris", {860, 30, 125, 130}).picture(":/img/img/VARNO sans ombre big.png").scaled();
    txtedit_port       = make<QLineEdit>(centralWidget, "txtedit_port", {420, 70, 201, 27}).text("/dev/ttyUSB0").font(arial(11)).sheet(sheet_port_edit).strongFocus();
    onglet_main_widget = make<QTabWidget>(centralWidget, "onglet_main_widget", {10, 150, 1001, 411}).font(arialTabs()).sheet(sheet_tabs).enabled().noFocus().defaultContextMenu();
    onglet_main_widget->setAcceptDrops(false);
    onglet_main_widget->setAutoFillBackground(false);
    onglet_main_widget->setTabShape(QTabWidget::Rounded);
    onglet_main_widget->setElideMode(Qt::ElideNone);
    onglet_main_widget->setUsesScrollButtons(false);
    onglet_main_widget->setDocumentMode(false);
}

void MainWindowUi::setupFrameBottom()
{
    button_info_img            = make<QPushButton>(centralWidget, "button_info_img", {990, 0, 31, 21}).palette(palette_info_button()).cursor(Qt::OpenHandCursor).noFocus().noContextMenu().icon(":/img/img/icone_info.png").iconSize(72, 72).autoRepeatInterval(1000).flat();
    label_credit_txt           = make<QLabel>(centralWidget, "label_credit_txt", {470, 570, 351, 20}).font(arialBold(8)).sheet(sheet_transparent).cursor(Qt::ArrowCursor).align(Qt::AlignRight | Qt::AlignVCenter).noExternalLinks();
    pushButton                 = make<QPushButton>(centralWidget, "pushButton", {930, 560, 71, 41}).font(arialBold(9)).sheet(sheet_link_button).cursor(Qt::PointingHandCursor).noFocus().icon(":/img/img/valoris2.png").iconSize(64, 64).flat();
    pushButton_2               = make<QPushButton>(centralWidget, "pushButton_2", {820, 560, 111, 41}).font(arialBold(8)).sheet(sheet_link_button).cursor(Qt::PointingHandCursor).noFocus().iconSize(64, 64).flat();
    comboBox_port              = make<QComboBox>(centralWidget, "comboBox_port", {20, 71, 191, 27}).font(arial()).sheet(sheet_port_combo).editable();
    button_img_refreshportlist = make<QPushButton>(centralWidget, "button_img_refreshportlist", {212, 70, 31, 31}).palette(palette_port_image_button()).sheet(sheet_port_button).cursor(Qt::PointingHandCursor).noFocus().noContextMenu().icon(":/img/img/refresh.png").iconSize(18, 18).noAutoDefault().notDefault().flat();
    button_img_port_deco       = make<QPushButton>(centralWidget, "button_img_port_deco", {226, 60, 61, 51}).palette(palette_port_image_button()).sheet(sheet_port_button).cursor(Qt::PointingHandCursor).noFocus().noContextMenu().icon(":/img/img/usb_off.png").iconSize(25, 25).noAutoDefault().notDefault().flat();
    button_img_port_connect    = make<QPushButton>(centralWidget, "button_img_port_connect", {226, 60, 61, 51}).palette(palette_port_image_button()).sheet(sheet_port_button).cursor(Qt::PointingHandCursor).noFocus().noContextMenu().icon(":/img/img/usb_on.png").iconSize(25, 25).autoRepeatInterval(1000).noAutoDefault().flat();
    button_txt_port_deco       = make<QPushButton>(centralWidget, "button_txt_port_deco", {470, 40, 91, 21}).palette(palette_port_text_button()).font(arial(10)).sheet(sheet_transparent).cursor(Qt::PointingHandCursor).noFocus().noContextMenu().iconSize(72, 72).flat();
    button_txt_port_connect    = make<QPushButton>(centralWidget, "button_txt_port_connect", {460, 40, 91, 21}).palette(palette_port_text_button()).font(arial(10)).sheet(sheet_transparent).cursor(Qt::PointingHandCursor).noFocus().noContextMenu().iconSize(72, 72).flat();
    label_visu_montant_2       = make<QLabel>(centralWidget, "label_visu_montant_2", {15, 50, 121, 20}).font(arialBold(10)).sheet(sheet_caption_black).align(Qt::AlignCenter);
    label_ERREUR_OK            = make<QLabel>(centralWidget, "label_ERREUR_OK", {50, 570, 71, 19}).font(arial(13)).sheet(sheet_status_ok).enabled().picture(":/img/img/cowired.png").scaled();
    label_ERREUR               = make<QLabel>(centralWidget, "label_ERREUR", {50, 572, 71, 16}).font(arial(13)).sheet(sheet_status_error).enabled().picture(":/img/img/decowire.png").scaled();
    label_visu_montant_3       = make<QLabel>(centralWidget, "label_visu_montant_3", {10, 571, 41, 17}).font(arialBold(8)).sheet(sheet_caption_black).align(Qt::AlignCenter);
    // In the footer's free stretch, between the indicator and the credits'
    // right-aligned text.
    label_message              = make<QLabel>(centralWidget, "label_message", {126, 568, 366, 22}).font(arial(9)).sheet(sheet_caption_black).align(Qt::AlignLeft | Qt::AlignVCenter);
}

// Creation order left the connection bar under the tab widget and the logo;
// this order puts each overlapping pair the right way up: the connect
// button over the disconnect one, the red status over the green one.
void MainWindowUi::raiseFrameWidgets()
{
    QWidget *const bottomToTop[] = {
        pushButton, pushButton_2, img_bandeau_top, txtedit_port, onglet_main_widget,
        ctrl_read_adr, ctrl_read_val, butt_ctrl_read, button_info_img, label_credit_txt,
        img_logo_valoris, comboBox_port, button_img_refreshportlist, button_img_port_deco,
        button_img_port_connect, button_txt_port_deco, button_txt_port_connect,
        label_visu_montant_2, label_ERREUR_OK, label_ERREUR, label_visu_montant_3,
    };
    for (QWidget *widget : bottomToTop)
        widget->raise();
}

// A text button under a picture button is the picture's caption: clicking it
// shows the picture pressed, then clicks the picture. The reload picture of
// the first page also puts its three radio buttons back to the type A
// defaults, before the window's own slot for the picture runs.
void MainWindowUi::connectForm()
{
    QObject::connect(button_txt_send_mod, &QPushButton::clicked, button_img_send_mod, &QPushButton::animateClick);
    QObject::connect(button_txt_request_demod, &QPushButton::clicked, button_img_request_demod, &QPushButton::animateClick);
    QObject::connect(button_txt_demod_rlcfg, &QPushButton::clicked, button_img_demod_rlcfg, &QPushButton::animateClick);
    QObject::connect(button_img_demod_rlcfg, &QPushButton::clicked, radio_bnc_man, &QRadioButton::click);
    QObject::connect(button_img_demod_rlcfg, &QPushButton::clicked, radio_codbit_miller, &QRadioButton::click);
    QObject::connect(button_img_demod_rlcfg, &QPushButton::clicked, radio_modsel_donnees, &QRadioButton::click);
    QObject::connect(button_14_txt_rlcfg, &QPushButton::clicked, button_14_img_rlcfg, &QPushButton::animateClick);
    QObject::connect(button_manu_txt_send, &QPushButton::clicked, button_manu_img_send, &QPushButton::animateClick);
    QObject::connect(button_15_txt_rlcfg, &QPushButton::clicked, button_15_img_rlcfg, &QPushButton::animateClick);
    QObject::connect(button_15_manu_txt_send, &QPushButton::clicked, button_15_manu_img_send, &QPushButton::animateClick);
    QObject::connect(pushButton_2, &QPushButton::clicked, pushButton, &QPushButton::click);
}

void MainWindowUi::retranslateFrameTop(QMainWindow *MainWindow)
{
    MainWindow->setWindowTitle(tr("TAGBENCH  -  VALORIS Industrie "));
    img_bandeau_top->setText(QString());
    img_logo_valoris->setText(QString());
    onglet_main_widget->setToolTip(QString());
}

void MainWindowUi::retranslateFrameBottom()
{
    button_info_img->setText(QString());
    label_credit_txt->setText(tr("TAGBENCH  version 1.01 pour Windows  -  VALORIS Industrie"));
    pushButton->setToolTip(tr("aller à valoris.example"));
    pushButton->setWhatsThis(QString());
    pushButton->setText(QString());
    pushButton_2->setToolTip(tr("aller à valoris.example"));
    pushButton_2->setWhatsThis(QString());
    pushButton_2->setText(tr("-  valoris.example"));
    comboBox_port->setToolTip(tr("Choix du port : \n choisir dans la liste ou édition manuelle \"COMX\""));
    button_img_refreshportlist->setToolTip(tr("rafraîchir la liste des ports série"));
    button_img_refreshportlist->setText(QString());
    button_img_port_deco->setToolTip(tr("déconnecter"));
    button_img_port_deco->setText(QString());
    button_img_port_connect->setToolTip(tr("connecter"));
    button_img_port_connect->setText(QString());
    button_txt_port_deco->setText(tr("Deconnecter"));
    button_txt_port_connect->setText(tr("Connecter"));
    label_visu_montant_2->setText(tr("Config port série"));
    label_ERREUR_OK->setToolTip(tr("connecté"));
    label_ERREUR_OK->setText(QString());
    label_ERREUR->setToolTip(tr("! déconnecté ! "));
    label_ERREUR->setText(QString());
    label_visu_montant_3->setText(tr("Port :"));
    label_message->setText(QString());
}

// The blanks around the titles widen the tabs.
void MainWindowUi::retranslateTabTitles()
{
    onglet_main_widget->setTabText(onglet_main_widget->indexOf(tab_visu_signaux), tr("  Visualisation des signaux    "));
    onglet_main_widget->setTabText(onglet_main_widget->indexOf(tab_14443), tr("   Communications ISO14443A   /  Mifare   "));
    onglet_main_widget->setTabText(onglet_main_widget->indexOf(tab_15), tr("   Communications  ISO15693    "));
}

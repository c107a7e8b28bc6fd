#include "formstyles.h"

#include <QBrush>
#include <QColor>

namespace FormStyles {

// Pieces that several sheets repeat word for word.
#define ROUNDED_EDGE_DECLARATIONS(padding) \
    "padding: " padding ";\n"              \
    "border-style: solid;\n"               \
    "border: 1.5px solid #C7BFB7;\n"       \
    "border-radius: 8px;\n"
#define RADIAL_GRADIENT(outer)             \
    "background: qradialgradient(cx: 0.3, cy: -0.4,\n" \
    "fx: 0.3, fy: -0.4,\n"                 \
    "radius: 1.35, stop: 0 #fff, stop: 1 " outer ");\n"
#define TOOLTIP_BLACK "QToolTip {\ncolor:black;\n}\n"

const char sheet_window[] =
    "background-color: rgb(255, 255, 255);\n"
    TOOLTIP_BLACK;

const char sheet_banner[] = "background-color: gray;";

const char sheet_port_edit[] =
    "QLineEdit {\n" ROUNDED_EDGE_DECLARATIONS("1px") "}\n"
    TOOLTIP_BLACK;

#define TAB_DECLARATIONS                   \
    RADIAL_GRADIENT("gray")                \
    "color:white;\n"                       \
    "border:1px solid gray;\n"             \
    "border-top-left-radius: 4px;\n"       \
    "border-top-right-radius: 4px;\n"      \
    "border-bottom:none;\n"                \
    "min-width: 150px;\n"                  \
    "padding:3px;\n"                       \
    "font:bold;\n"

const char sheet_tabs[] =
    "QTabWidget::pane {\n"
    "border : 0.5px solid gray;\n"
    "}\n"
    "QTabWidget[enable=false]::QTabBar::tab {\n" TAB_DECLARATIONS "}\n"
    "QTabBar::tab {\n" TAB_DECLARATIONS "}\n"
    "QTabBar::tab:selected {\n"
    RADIAL_GRADIENT("lightblue")
    "color:black;\n"
    "}\n"
    "QTabBar::tab:!selected:hover {\n"
    RADIAL_GRADIENT("gray")
    "color:#d5e5ff;\n"
    "}\n"
    "QTabBar::tab:!selected {\n"
    "margin-top: 4px; /* makes the non-selected tabs look smaller */\n"
    "border:1px solid gray;\n"
    "}\n"
    "QRadioButton::indicator {\n"
    "width: 10px;\n"
    "height: 10px;\n"
    "border-style: solid;\n"
    "border-width: 0.5px;\n"
    "border-color:  #C7BFB7;\n"
    "border-radius: 6px;\n"
    "}\n"
    "QRadioButton::indicator:unchecked {\n"
    "background-color:white;\n"
    "}\n"
    "QRadioButton::indicator:checked {\n"
    "background-color:rgb(255,127,42);\n"
    "}\n"
    "QTabWidget::tab-bar {\n"
    "left: 2px;\n"
    "}\n";

const char sheet_no_border[] = "border-color:rgba(0,0,0,0)";

const char sheet_hex_edit[] = ROUNDED_EDGE_DECLARATIONS("1px");
const char sheet_hex_edit_pad2[] = ROUNDED_EDGE_DECLARATIONS("2px");

const char sheet_caption[] = "border-color:rgba(0,0,0,0);color:rgb(74,172,201)";
const char sheet_caption_orange[] = "border-color:rgba(0,0,0,0);color:rgb(255, 127, 42)";
const char sheet_caption_red[] = "border-color:rgba(0,0,0,0);color:red";
const char sheet_caption_black[] = "border-color:rgba(0,0,0,0);color:rgb(0,0,0)";

const char sheet_arrow[] = "border-color:rgba(0,0,0,0)";
const char sheet_rule[] = "background : gray;";
const char sheet_transparent[] = "border-color:rgba(0,0,0,0);background-color:rgba(0,0,0,0);";

const char sheet_image_button[] =
    "QPushButton:hover {\n"
    "border-style: solid;\n"
    "border-width: 3px;\n"
    "border-bottom-color:  #4aacc9;\n"
    "}\n";

// The trailing backslash-n is two characters of the text, not a line break.
const char sheet_frame_orange[] =
    "background-color:rgba(0,0,0,0);border-width:0;border-color:rgba(255,127,42,0);\\n\n";
const char sheet_frame_blue[] =
    "background-color:rgba(0,0,0,0);border-width:2;border-color:rgba(74,172,201,0)";
const char sheet_frame_blue_border[] =
    "border-color:rgb(74,172,201);background-color:rgba(0,0,0,0);border-width:2";

const char sheet_tab_page[] =
    "QWidget {\n"
    "border-color:black; border-style:solid; border-width:1;\n"
    "}\n"
    "QLineEdit {\n" ROUNDED_EDGE_DECLARATIONS("1px") "}\n"
    TOOLTIP_BLACK;

#define COMMAND_BUTTON_SHEET(fontSize)     \
    "QPushButton {\n"                      \
    "border: 1px solid #C7BFB7;\n"         \
    "border-radius: 11px;\n"               \
    "padding: 5px;\n"                      \
    RADIAL_GRADIENT("#777")                \
    "min-width: 80px;\n"                   \
    "color:#fff;\n"                        \
    "font-style: bold;\n"                  \
    "font-size: " fontSize ";\n"           \
    "font-family:\"Arial\";\n"             \
    "}\n"                                  \
    "QPushButton:hover {\n"                \
    RADIAL_GRADIENT("#4aacc9")             \
    "}\n"                                  \
    "QPushButton:pressed {\n"              \
    "background: #888;\n"                  \
    "}\n"

const char sheet_command_button[] = COMMAND_BUTTON_SHEET("18px");
const char sheet_command_button_14px[] = COMMAND_BUTTON_SHEET("14px");

const char sheet_link_button[] =
    "QPushButton {\n"
    "background-color:rgba(0,0,0,0)\n"
    "}\n"
    "QPushButton:hover {\n"
    "border-style: solid;\n"
    "border-width: 3px;\n"
    "}\n"
    TOOLTIP_BLACK;

const char sheet_port_combo[] =
    "QComboBox {\n" ROUNDED_EDGE_DECLARATIONS("1px") "}\n"
    "QComboBox::down-arrow {\n"
    "image: url(:/img/img/downarrow.png);\n"
    "height:12px;\n"
    "width:12px\n"
    "}\n"
    "QComboBox::drop-down {\n"
    "width: 32px;\n"
    "border-top-right-radius: 3px;\n"
    "border-bottom-right-radius: 3px;\n"
    "}\n"
    TOOLTIP_BLACK;

const char sheet_port_button[] =
    "QPushButton {\n"
    "background-color:rgba(0,0,0,0)\n"
    "}\n"
    "QToolTip {\n"
    "background-color:white;\n"
    "color:black;\n"
    "}\n";

const char sheet_status_ok[] = "color:green";
const char sheet_status_error[] = "color:rgb(255, 82, 125);";

const char sheet_empty[] = "";

#undef COMMAND_BUTTON_SHEET
#undef TAB_DECLARATIONS
#undef TOOLTIP_BLACK
#undef RADIAL_GRADIENT
#undef ROUNDED_EDGE_DECLARATIONS

namespace {

void setInAllGroups(QPalette &palette, QPalette::ColorRole role, const QColor &colour)
{
    const QBrush brush(colour, Qt::SolidPattern);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setBrush(group, role, brush);
}

void setInGroup(QPalette &palette, QPalette::ColorGroup group, QPalette::ColorRole role,
                const QColor &colour)
{
    palette.setBrush(group, role, QBrush(colour, Qt::SolidPattern));
}

const QColor black(0, 0, 0, 255);
const QColor white(255, 255, 255, 255);
const QColor clear(0, 0, 0, 0);

} // namespace

QPalette palette_edit()
{
    QPalette palette = palette_edit_plain();
    setInAllGroups(palette, QPalette::Highlight, QColor(255, 127, 42, 255));
    return palette;
}

QPalette palette_edit_plain()
{
    QPalette palette;
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        setInAllGroups(palette, role, black);
    for (auto role : {QPalette::Button, QPalette::Base, QPalette::Window})
        setInAllGroups(palette, role, white);
    return palette;
}

QPalette palette_edit_grey()
{
    QPalette palette = palette_edit();
    setInGroup(palette, QPalette::Disabled, QPalette::Highlight, QColor(198, 198, 198, 255));
    return palette;
}

QPalette palette_info_button()
{
    const QColor greyedOut(127, 127, 127, 0);
    QPalette palette;
    for (auto role : {QPalette::WindowText, QPalette::Text}) {
        setInAllGroups(palette, role, black);
        setInGroup(palette, QPalette::Disabled, role, greyedOut);
    }
    setInAllGroups(palette, QPalette::ButtonText, white);
    setInGroup(palette, QPalette::Disabled, QPalette::ButtonText, greyedOut);
    for (auto role : {QPalette::Button, QPalette::Base, QPalette::Window, QPalette::BrightText})
        setInAllGroups(palette, role, white);
    for (auto role : {QPalette::Light, QPalette::Midlight, QPalette::Shadow})
        setInAllGroups(palette, role, QColor(255, 255, 255, 0));
    setInAllGroups(palette, QPalette::Dark, QColor(127, 127, 127, 0));
    setInAllGroups(palette, QPalette::Mid, QColor(170, 170, 170, 0));
    setInAllGroups(palette, QPalette::AlternateBase, QColor(255, 255, 255, 127));
    setInGroup(palette, QPalette::Disabled, QPalette::AlternateBase, QColor(255, 255, 255, 0));
    setInAllGroups(palette, QPalette::ToolTipBase, QColor(255, 255, 220, 255));
    setInAllGroups(palette, QPalette::ToolTipText, black);
    return palette;
}

QPalette palette_port_image_button()
{
    QPalette palette = palette_info_button();
    for (auto role : {QPalette::Button, QPalette::Base, QPalette::Window})
        setInAllGroups(palette, role, clear);
    return palette;
}

QPalette palette_port_text_button()
{
    QPalette palette = palette_port_image_button();
    setInGroup(palette, QPalette::Active, QPalette::ButtonText, black);
    setInGroup(palette, QPalette::Inactive, QPalette::ButtonText, black);
    return palette;
}

QFont arial()
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial")});
    return font;
}

QFont arial(int points)
{
    QFont font = arial();
    font.setPointSize(points);
    return font;
}

QFont arialBold(int points)
{
    QFont font = arial(points);
    font.setBold(true);
    return font;
}

QFont arialTabs()
{
    QFont font = arial(10);
    font.setBold(false);
    font.setKerning(false);
    return font;
}

QFont fixedPitch(int points)
{
    // Liberation Mono is Courier New's metric twin, as Liberation Sans is
    // Arial's.
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Mono"), QStringLiteral("Courier New")});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSize(points);
    return font;
}

QFont bold()
{
    QFont font;
    font.setBold(true);
    return font;
}

} // namespace FormStyles

#ifndef FORMSTYLES_H
#define FORMSTYLES_H

#include <QFont>
#include <QPalette>

// The window's looks, each defined once and referred to by name from the
// page builders.
//
// Clear colours are spelt rgba(r,g,b,0). The window's sheets were first
// written for Qt 4, whose parser read argb(...) and rgb(...) with four values
// as clear colours too; Qt 6 drops argb() (every caption on the card pages
// would then wear the page's 1-pixel border in its text colour) and warns at
// every parse of a four-valued rgb(). The rest is kept as it always was,
// down to the literal backslash-n that ends the orange frames' sheet.
namespace FormStyles {

extern const char sheet_window[];
extern const char sheet_banner[];
extern const char sheet_port_edit[];
extern const char sheet_tabs[];
extern const char sheet_no_border[];
extern const char sheet_hex_edit[];
extern const char sheet_hex_edit_pad2[];
extern const char sheet_caption[];
extern const char sheet_caption_orange[];
extern const char sheet_caption_red[];
extern const char sheet_caption_black[];
extern const char sheet_arrow[];
extern const char sheet_rule[];
extern const char sheet_transparent[];
extern const char sheet_image_button[];
extern const char sheet_frame_orange[];
extern const char sheet_frame_blue[];
extern const char sheet_frame_blue_border[];
extern const char sheet_tab_page[];
extern const char sheet_command_button[];
extern const char sheet_command_button_14px[];
extern const char sheet_link_button[];
extern const char sheet_port_combo[];
extern const char sheet_port_button[];
extern const char sheet_status_ok[];
extern const char sheet_status_error[];
extern const char sheet_empty[];

// Palettes start from the application's palette, so they need an application
// object: they are built on demand.
QPalette palette_edit();
QPalette palette_edit_plain();
QPalette palette_edit_grey();
QPalette palette_info_button();
QPalette palette_port_image_button();
QPalette palette_port_text_button();

// Font short forms. A property not set here is inherited from the parent.
QFont arial();                  // family only
QFont arial(int points);        // family and size
QFont arialBold(int points);    // family, size, bold
QFont arialTabs();              // the tab widget's: Arial 10, normal weight, kerning off
QFont bold();                   // weight only
// Every hexadecimal digit as wide as the others, so that a field sized for
// its digits holds the widest of them too.
QFont fixedPitch(int points);

} // namespace FormStyles

#endif // FORMSTYLES_H

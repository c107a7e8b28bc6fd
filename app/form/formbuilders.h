#ifndef FORMBUILDERS_H
#define FORMBUILDERS_H

#include <QButtonGroup>
#include <QCursor>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

// Small helpers that let the page builders state each widget in one line,
// in the order the properties are applied:
//
//     make<QLabel>(page, "label_14_sak", {780, 140, 51, 31}).font(arial(11)).sheet(sheet_caption)
//
// make() creates the widget, names it at once and places it; the chained
// setters then apply the remaining properties left to right. A setter that
// the widget's class lacks simply does not compile.
namespace FormBuilders {

// A mutually exclusive button group owned by the window.
QButtonGroup *buttonGroup(QWidget *window, const char *objectName);

template <class W>
class Built
{
public:
    explicit Built(W *widget) : w(widget) {}
    operator W *() const { return w; }

    // Any widget.
    Built &enabled() { w->setEnabled(true); return *this; }
    Built &disabled() { w->setEnabled(false); return *this; }
    Built &palette(const QPalette &palette) { w->setPalette(palette); return *this; }
    Built &font(const QFont &font) { w->setFont(font); return *this; }
    Built &sheet(const char *styleSheet) { w->setStyleSheet(QString::fromUtf8(styleSheet)); return *this; }
    Built &cursor(Qt::CursorShape shape) { w->setCursor(QCursor(shape)); return *this; }
    Built &noFocus() { w->setFocusPolicy(Qt::NoFocus); return *this; }
    Built &strongFocus() { w->setFocusPolicy(Qt::StrongFocus); return *this; }
    Built &noContextMenu() { w->setContextMenuPolicy(Qt::NoContextMenu); return *this; }
    Built &defaultContextMenu() { w->setContextMenuPolicy(Qt::DefaultContextMenu); return *this; }

    // Labels and line edits.
    Built &align(Qt::Alignment alignment) { w->setAlignment(alignment); return *this; }

    // Labels and frames.
    Built &picture(const char *path) { w->setPixmap(QPixmap(QString::fromUtf8(path))); return *this; }
    Built &scaled() { w->setScaledContents(true); return *this; }
    Built &noExternalLinks() { w->setOpenExternalLinks(false); return *this; }
    Built &lineWidth(int width) { w->setLineWidth(width); return *this; }
    Built &shape(QFrame::Shape shape, QFrame::Shadow shadow)
    {
        w->setFrameShape(shape);
        w->setFrameShadow(shadow);
        return *this;
    }

    // Buttons.
    Built &icon(const char *path)
    {
        QIcon icon;
        icon.addFile(QString::fromUtf8(path), QSize(), QIcon::Normal, QIcon::Off);
        w->setIcon(icon);
        return *this;
    }
    Built &iconSize(int width, int height) { w->setIconSize(QSize(width, height)); return *this; }
    Built &autoRepeatInterval(int ms) { w->setAutoRepeatInterval(ms); return *this; }
    Built &noAutoDefault() { w->setAutoDefault(false); return *this; }
    Built &notDefault() { w->setDefault(false); return *this; }
    Built &flat() { w->setFlat(true); return *this; }
    Built &notFlat() { w->setFlat(false); return *this; }
    Built &inGroup(QButtonGroup *group) { group->addButton(w); return *this; }
    // The first button of a group brings the group into being, owned by the window.
    Built &inNewGroup(QButtonGroup *&group, QWidget *window, const char *objectName)
    {
        group = buttonGroup(window, objectName);
        return inGroup(group);
    }
    Built &checked() { w->setChecked(true); return *this; }

    // Line edits: the fixed parts of a field, in the order mask, text,
    // maximum length, cursor, read-only, since each may reshape the text
    // that the previous ones left.
    Built &mask(const char *inputMask) { w->setInputMask(QString::fromUtf8(inputMask)); return *this; }
    Built &text(const char *text) { w->setText(QString::fromUtf8(text)); return *this; }
    Built &maxLength(int length) { w->setMaxLength(length); return *this; }
    Built &cursorAt(int position) { w->setCursorPosition(position); return *this; }
    Built &readOnly() { w->setReadOnly(true); return *this; }

    // Combo boxes.
    Built &editable() { w->setEditable(true); return *this; }

private:
    W *w;
};

// Creates a widget of class W under parent, gives it its object name right
// away and places it at its fixed rectangle.
template <class W>
Built<W> make(QWidget *parent, const char *objectName, const QRect &rect)
{
    auto *widget = new W(parent);
    widget->setObjectName(QString::fromUtf8(objectName));
    widget->setGeometry(rect);
    return Built<W>(widget);
}

// A tab page: created without a parent, the tab widget adopts it.
QWidget *page(const char *objectName);

} // namespace FormBuilders

#endif // FORMBUILDERS_H

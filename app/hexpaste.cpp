#include "hexpaste.h"

#include "fieldtext.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

#include <memory>

namespace {

// The mask characters that stand for a digit the user types.
bool isDigitPosition(QChar maskCharacter)
{
    return QStringLiteral("HhNnXx90Dd#").contains(maskCharacter);
}

// What the text of a pasted clipboard shows in a message: its start, on one
// line.
QString excerpt(const QString &text)
{
    constexpr int Shown = 24;
    QString line = text.simplified();
    if (line.size() > Shown)
        line = line.left(Shown) + QStringLiteral("…");
    return QStringLiteral("«\u00A0") + line + QStringLiteral("\u00A0»");
}

} // namespace

HexPaste::HexPaste(std::function<void(const QString &)> refused, QObject *parent)
    : QObject(parent)
    , m_refused(std::move(refused))
{
}

void HexPaste::watch(QLineEdit *field)
{
    field->installEventFilter(this);
}

int HexPaste::capacity(const QLineEdit *field)
{
    const QString mask = field->inputMask();
    if (mask.isEmpty())
        return field->maxLength();
    int digits = 0;
    // The mask ends at its ";" and its blank character; a backslash makes
    // the next character a literal.
    const int end = mask.lastIndexOf(QLatin1Char(';'));
    for (int i = 0; i < (end < 0 ? mask.size() : end); ++i) {
        if (mask.at(i) == QLatin1Char('\\'))
            ++i;
        else if (isDigitPosition(mask.at(i)))
            ++digits;
    }
    return digits;
}

bool HexPaste::paste(QLineEdit *field, const QString &text)
{
    if (field->isReadOnly() || !field->isEnabled())
        return false;
    const std::optional<QString> digits = FieldText::pastedHex(text);
    if (!digits) {
        m_refused(QStringLiteral("Collage refusé : %1 n'est pas un nombre hexadécimal").arg(excerpt(text)));
        return false;
    }
    // The field's own digits, as text() gives them, and where the paste
    // goes among them: over the selection, or at the cursor.
    const QString current = field->text().trimmed();
    int from = qMin(field->cursorPosition(), int(current.size()));
    int to = from;
    if (field->hasSelectedText()) {
        from = qMin(field->selectionStart(), int(current.size()));
        to = qMin(field->selectionEnd(), int(current.size()));
    }
    const QString result = current.left(from) + *digits + current.mid(to);
    const int room = capacity(field);
    if (result.size() > room) {
        m_refused(QStringLiteral("Collage refusé : %1 chiffres pour un champ de %2").arg(digits->size()).arg(room));
        return false;
    }
    field->setText(result);
    field->setCursorPosition(from + int(digits->size()));
    emit field->textEdited(field->text());
    return true;
}

bool HexPaste::eventFilter(QObject *watched, QEvent *event)
{
    auto *field = qobject_cast<QLineEdit *>(watched);
    if (!field)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste)) {
            paste(field, QGuiApplication::clipboard()->text());
            return true;
        }
        return false;
    case QEvent::ContextMenu:
        return contextMenu(field, static_cast<QContextMenuEvent *>(event)->globalPos());
    case QEvent::MouseButtonRelease: {
        // X11 pastes its selection with the middle button.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::MiddleButton || !QGuiApplication::clipboard()->supportsSelection())
            return false;
        paste(field, QGuiApplication::clipboard()->text(QClipboard::Selection));
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if (!drop->mimeData()->hasText())
            return false;
        paste(field, drop->mimeData()->text());
        drop->acceptProposedAction();
        return true;
    }
    default:
        return false;
    }
}

bool HexPaste::contextMenu(QLineEdit *field, const QPoint &globalPosition)
{
    // The field's own menu, its paste going through here.
    const std::unique_ptr<QMenu> menu(field->createStandardContextMenu());
    for (QAction *action : menu->actions()) {
        if (action->objectName() != QLatin1String("edit-paste"))
            continue;
        action->disconnect();
        connect(action, &QAction::triggered, this,
                [this, field] { paste(field, QGuiApplication::clipboard()->text()); });
    }
    menu->exec(globalPosition);
    return true;
}

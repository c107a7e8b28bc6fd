#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLineEdit;

// Pastes into the window's hexadecimal fields. A field's input mask takes a
// pasted text character by character: a "0x" prefix shifts the digits by
// one and loses the last, a blank stops the paste at the first byte, and
// digits beyond the field are cut without a word. Here a paste (the keys,
// the context menu, the middle button, a drop) is first normalised, the
// prefixes and separators dropped; what is then not hexadecimal, or does not
// fit where it goes, is refused, the field left as it was.
class HexPaste : public QObject
{
public:
    // `refused` hears why a paste was refused, in the user's words.
    explicit HexPaste(std::function<void(const QString &)> refused, QObject *parent = nullptr);

    // Watches the field's pastes from now on.
    void watch(QLineEdit *field);

    // Pastes `text` into the field as the user's paste would go, at the
    // cursor or over the selection; false (and `refused` told) when it
    // cannot. A paste taken emits the field's textEdited, as typing does.
    bool paste(QLineEdit *field, const QString &text);

    // How many digits the field's mask holds.
    static int capacity(const QLineEdit *field);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool contextMenu(QLineEdit *field, const QPoint &globalPosition);

    std::function<void(const QString &)> m_refused;
};

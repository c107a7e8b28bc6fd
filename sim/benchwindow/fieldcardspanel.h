#pragma once

#include "cardargument.h"

#include <QWidget>

#include <memory>
#include <vector>

class PtyBoard;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class VirtualCard;

// The cards the bench knows, each with a check box that puts it in the RF
// field or takes it out. A card taken out loses power and stops answering;
// put back, it starts again as after power-up. Cards are added by kind and
// UID, in the forms of tagbench-sim's --card, and removed. Two type A cards
// in the field answer together and collide, as the field makes them.
class FieldCardsPanel : public QWidget
{
    Q_OBJECT

public:
    explicit FieldCardsPanel(PtyBoard &board, QWidget *parent = nullptr);

    // Lists the card and puts it in the field, unless it is there already.
    void addCard(const CardArgument::Parsed &card);
    // Makes a card from the kind chosen and the text typed; false, with the
    // reason shown, when they make none.
    bool addTypedCard();
    int count() const { return int(m_cards.size()); }
    bool inField(int row) const;
    void setInField(int row, bool inField);
    void removeCard(int row);
    QString errorText() const;

private:
    void placed(QListWidgetItem *item);
    void showForm();

    PtyBoard &m_board;
    std::vector<std::shared_ptr<VirtualCard>> m_cards;  // one per row of the list
    QListWidget *m_list = nullptr;
    QComboBox *m_kind = nullptr;
    QLineEdit *m_uid = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_remove = nullptr;
    QLabel *m_error = nullptr;
};

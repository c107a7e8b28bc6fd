#include "fieldcardspanel.h"

#include "ptyboard.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

FieldCardsPanel::FieldCardsPanel(PtyBoard &board, QWidget *parent)
    : QWidget(parent)
    , m_board(board)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *title = new QLabel(tr("<b>Cartes dans le champ</b>"), this);
    layout->addWidget(title);
    auto *hint = new QLabel(tr("Cochée : la carte est dans le champ. Décochée, elle n'est plus alimentée "
                               "et se tait ; recochée, elle repart comme à la mise sous tension."), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("cartes"));
    layout->addWidget(m_list, 1);
    m_remove = new QPushButton(tr("Retirer la carte choisie"), this);
    m_remove->setObjectName(QStringLiteral("retirer"));
    m_remove->setEnabled(false);
    layout->addWidget(m_remove);

    // The kinds and their forms are those of the command line's --card.
    auto *addRow = new QHBoxLayout;
    m_kind = new QComboBox(this);
    for (const QString &form : CardArgument::forms())
        m_kind->addItem(form.section(QLatin1Char(':'), 0, 0), form.section(QLatin1Char(':'), 1, -1));
    m_uid = new QLineEdit(this);
    m_add = new QPushButton(tr("Ajouter"), this);
    addRow->addWidget(m_kind);
    addRow->addWidget(m_uid, 1);
    addRow->addWidget(m_add);
    layout->addWidget(new QLabel(tr("Nouvelle carte (type et UID en hexadécimal) :"), this));
    layout->addLayout(addRow);
    auto *forms = new QLabel(tr("Formes : %1. CLÉ6 : clé A et B de tous les secteurs d'une MIFARE Classic, "
                                "FFFFFFFFFFFF sans elle.")
                                 .arg(CardArgument::forms().join(QLatin1String(", "))),
                             this);
    forms->setWordWrap(true);
    layout->addWidget(forms);
    m_error = new QLabel(this);
    m_error->setWordWrap(true);
    m_error->setStyleSheet(QStringLiteral("color: #c02020"));
    layout->addWidget(m_error);
    showForm();

    connect(m_list, &QListWidget::itemChanged, this, &FieldCardsPanel::placed);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { m_remove->setEnabled(row >= 0); });
    connect(m_remove, &QPushButton::clicked, this, [this] { removeCard(m_list->currentRow()); });
    connect(m_add, &QPushButton::clicked, this, &FieldCardsPanel::addTypedCard);
    connect(m_uid, &QLineEdit::returnPressed, this, &FieldCardsPanel::addTypedCard);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &FieldCardsPanel::showForm);
}

void FieldCardsPanel::showForm()
{
    m_uid->setPlaceholderText(m_kind->currentData().toString());
}

void FieldCardsPanel::addCard(const CardArgument::Parsed &card)
{
    if (!card.card)
        return;
    m_board.withBoard([&](BoardEngine &engine) {
        RfField &field = engine.chip().field();
        const auto &held = field.cards();
        if (std::find(held.begin(), held.end(), card.card) == held.end())
            field.addCard(card.card);
    });
    m_cards.push_back(card.card);
    auto *item = new QListWidgetItem(card.description);
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    const QSignalBlocker quiet(m_list);
    item->setCheckState(Qt::Checked);
    m_list->addItem(item);
}

bool FieldCardsPanel::addTypedCard()
{
    const QString argument = m_kind->currentText() + QLatin1Char(':') + m_uid->text().trimmed();
    const CardArgument::Parsed parsed = CardArgument::parse(argument);
    m_error->setText(parsed.error);
    if (!parsed.card)
        return false;
    addCard(parsed);
    m_uid->clear();
    return true;
}

QString FieldCardsPanel::errorText() const
{
    return m_error->text();
}

bool FieldCardsPanel::inField(int row) const
{
    const QListWidgetItem *item = m_list->item(row);
    return item && item->checkState() == Qt::Checked;
}

void FieldCardsPanel::setInField(int row, bool inField)
{
    if (QListWidgetItem *item = m_list->item(row))
        item->setCheckState(inField ? Qt::Checked : Qt::Unchecked);
}

void FieldCardsPanel::placed(QListWidgetItem *item)
{
    const int row = m_list->row(item);
    if (row < 0 || row >= count())
        return;
    const std::shared_ptr<VirtualCard> card = m_cards[std::size_t(row)];
    const bool wanted = item->checkState() == Qt::Checked;
    m_board.withBoard([&](BoardEngine &engine) {
        RfField &field = engine.chip().field();
        const auto &held = field.cards();
        const bool there = std::find(held.begin(), held.end(), card) != held.end();
        if (wanted && !there)
            field.addCard(card);
        else if (!wanted && there)
            field.removeCard(card.get());
    });
}

void FieldCardsPanel::removeCard(int row)
{
    if (row < 0 || row >= count())
        return;
    const std::shared_ptr<VirtualCard> card = m_cards[std::size_t(row)];
    m_board.withBoard([&](BoardEngine &engine) { engine.chip().field().removeCard(card.get()); });
    m_cards.erase(m_cards.begin() + row);
    const QSignalBlocker quiet(m_list);
    delete m_list->takeItem(row);
    m_remove->setEnabled(m_list->currentRow() >= 0);
}

#include "widgets/RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

RadioGroup::RadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(title, parent), m_buttons(new QButtonGroup(this)) {
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 2, 4, 2);
    layout->setSpacing(0);
    const int rows = (int(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items.at(i), this);
        m_buttons->addButton(radio, i);
        // Down the first column, then the next, as the items are read.
        layout->addWidget(radio, i % rows, i / rows);
    }
    m_buttons->button(0)->setChecked(true);
    keepOneTabStop();
    connect(m_buttons, &QButtonGroup::idToggled, this, &RadioGroup::keepOneTabStop);
    connect(m_buttons, &QButtonGroup::idClicked, this, &RadioGroup::clicked);
}

int RadioGroup::itemIndex() const {
    return m_buttons->checkedId();
}

void RadioGroup::setItemIndex(int index) {
    if (QAbstractButton* b = m_buttons->button(index))
        b->setChecked(true);
}

QRadioButton* RadioGroup::button(int index) const {
    return qobject_cast<QRadioButton*>(m_buttons->button(index));
}

int RadioGroup::count() const {
    return int(m_buttons->buttons().size());
}

void RadioGroup::keepOneTabStop() {
    for (QAbstractButton* b : m_buttons->buttons())
        b->setFocusPolicy(b->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

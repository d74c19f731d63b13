#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

// A titled group of radio buttons read and set by index. Only the selected button takes part in
// Tab and Enter moves, so the group is one stop; arrow keys move within it.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& title, const QStringList& items, int columns,
               QWidget* parent = nullptr);

    int itemIndex() const;
    // Selects an item without emitting clicked.
    void setItemIndex(int index);
    QRadioButton* button(int index) const;
    int count() const;

signals:
    // The user selected an item (also one already selected).
    void clicked(int index);

private:
    void keepOneTabStop();

    QButtonGroup* m_buttons;
};

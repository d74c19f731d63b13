#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// An up-down spinner attached to an edit field. A click takes the number shown in the field,
// steps it by one within [Min, Max] without wrapping around, writes it back and reports the
// click; a click at the end of the range changes nothing and reports nothing. From a number
// outside the range only a step toward it counts, and it lands on the nearer end.
class TUpDown : public QWidget {
    Q_OBJECT
public:
    enum TUDBtnType { btNext, btPrev };

    TUpDown(int min, int max, QWidget* parent = nullptr);

    void setAssociate(QLineEdit* edit) { m_associate = edit; }
    int Min() const { return m_min; }
    int Max() const { return m_max; }
    // The value the field shows, held within the range.
    int Position() const;

    // What pressing one of the two halves does.
    void Click(TUDBtnType button);

    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

signals:
    void Clicked(TUpDown::TUDBtnType button);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int m_min;
    int m_max;
    QLineEdit* m_associate = nullptr;
    QToolButton* m_up;
    QToolButton* m_down;
};

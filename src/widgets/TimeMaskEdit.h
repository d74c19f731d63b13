#pragma once

#include <QLineEdit>

// A time box of five positions: two digits, a fixed colon, two digits. A position not typed
// into holds a blank, so the empty time reads "  :  " and a full one "HH:MM".
//
// Usage:
//   auto* box = new TimeMaskEdit(this);
//   box->setText(QString());                  // empty: text() gives "  :  "
//   connect(box, &TimeMaskEdit::exited, ...); // the focus left the box for another control
// The input method is off: only digits go into the digit positions.
class TimeMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TimeMaskEdit(QWidget* parent = nullptr);

    // The five positions as shown, blanks and colon included (QLineEdit::text() would drop
    // the blanks).
    QString text() const { return displayText(); }

    // Shows a stored time; until the user changes the box, stored() is what to store again.
    void setStoredTime(const QByteArray& stored);
    bool isUnchanged() const { return text() == m_storedText; }
    const QByteArray& stored() const { return m_stored; }

signals:
    void exited();

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    QByteArray m_stored;
    QString m_storedText;
};

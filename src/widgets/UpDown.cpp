#include "widgets/UpDown.h"

#include <QLineEdit>
#include <QToolButton>

TUpDown::TUpDown(int min, int max, QWidget* parent)
    : QWidget(parent), m_min(min), m_max(max), m_up(new QToolButton(this)),
      m_down(new QToolButton(this)) {
    for (QToolButton* button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::PointingHandCursor);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    connect(m_up, &QToolButton::clicked, this, [this] { Click(btNext); });
    connect(m_down, &QToolButton::clicked, this, [this] { Click(btPrev); });
}

int TUpDown::Position() const {
    bool ok = false;
    const int shown = m_associate ? m_associate->text().trimmed().toInt(&ok) : m_min;
    return std::clamp(ok ? shown : m_min, m_min, m_max);
}

void TUpDown::Click(TUDBtnType button) {
    // A field outside the range (the arrow buttons of the month view go beyond it) steps to the
    // nearer end; a step away from the range is refused.
    bool ok = false;
    const int from = m_associate ? m_associate->text().trimmed().toInt(&ok) : m_min;
    const int shown = ok ? from : m_min;
    const int step = button == btNext ? 1 : -1;
    const int to = std::clamp(shown + step, m_min, m_max);
    if ((to - shown) * step <= 0)
        return;
    if (m_associate)
        m_associate->setText(QString::number(to));
    emit Clicked(button);
}

void TUpDown::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}

#include "app/GuidePanel.h"

#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace {
constexpr int PanelWidths[TGuidePanel::PanelCount - 1] = {80, 80};
}

TGuidePanel::TGuidePanel(QWidget* parent) : QWidget(parent) {
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
}

void TGuidePanel::setPanelText(int index, const QString& text) {
    QString& current = m_texts.at(size_t(index));
    if (current == text)
        return;
    current = text;
    update(panelRect(index));
}

QRect TGuidePanel::panelRect(int index) const {
    int left = 0;
    for (int i = 0; i < index; ++i)
        left += PanelWidths[i];
    const int width = index < PanelCount - 1 ? PanelWidths[index] : this->width() - left;
    return QRect(left, 0, width, height()).adjusted(1, 2, -1, 0);
}

void TGuidePanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    for (int i = 0; i < PanelCount; ++i) {
        const QRect rect = panelRect(i);
        qDrawShadePanel(&painter, rect, palette(), true, 1);
        painter.drawText(rect, Qt::AlignCenter, m_texts.at(size_t(i)));
    }
}

void TGuidePanel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit DblClick();
}

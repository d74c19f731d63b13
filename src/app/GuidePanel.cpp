#include "app/GuidePanel.h"

#include "widgets/AccessiblePart.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace {
constexpr int PanelWidths[TGuidePanel::PanelCount - 1] = {80, 80};
// The panels, then the note.
const QString PanelNames[TGuidePanel::PanelCount + 1] = {
    QStringLiteral("日付"), QStringLiteral("曜日"), QStringLiteral("時刻"), QStringLiteral("同期")};

// One panel for screen readers: its name, then what it shows.
class PanelText : public AccessiblePart {
public:
    PanelText(TGuidePanel* panel, int index) : AccessiblePart(panel), m_index(index) {}
    QString text(QAccessible::Text t) const override {
        if (!panel() || t != QAccessible::Name)
            return {};
        return PanelNames[m_index] + QLatin1Char(' ') +
               (m_index < TGuidePanel::PanelCount ? panel()->panelText(m_index) : panel()->note());
    }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.readOnly = true;
        state.invisible = !panel() || !panel()->isVisible() ||
                          (m_index == TGuidePanel::PanelCount && panel()->note().isEmpty());
        return state;
    }

protected:
    QRect partRect() const override {
        return m_index < TGuidePanel::PanelCount ? panel()->panelRect(m_index)
                                                 : panel()->noteRect();
    }

private:
    TGuidePanel* panel() const { return static_cast<TGuidePanel*>(owner()); }

    int m_index;
};

class GuidePanelAccessible : public QAccessibleWidget {
public:
    explicit GuidePanelAccessible(TGuidePanel* panel)
        : QAccessibleWidget(panel, QAccessible::StatusBar),
          m_panels(TGuidePanel::PanelCount + 1,
                   [panel](int index) { return new PanelText(panel, index); }) {}
    int childCount() const override { return m_panels.count(); }
    QAccessibleInterface* child(int index) const override { return m_panels.at(index); }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return m_panels.indexOf(child);
    }

private:
    AccessibleParts m_panels;
};

QAccessibleInterface* panelFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("TGuidePanel") && object && object->isWidgetType())
        return new GuidePanelAccessible(static_cast<TGuidePanel*>(object));
    return nullptr;
}

} // namespace

TGuidePanel::TGuidePanel(QWidget* parent) : QWidget(parent) {
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    static const bool installed = [] {
        QAccessible::installFactory(panelFactory);
        return true;
    }();
    Q_UNUSED(installed);
    setAccessibleName(QStringLiteral("状態表示"));
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
    return QRect(left, 0, width, RowHeight).adjusted(1, 2, -1, 0);
}

QStringList TGuidePanel::noteLines() const {
    if (m_note.isEmpty())
        return {};
    const QFontMetrics metrics = fontMetrics();
    const int room = width() - 2 * NoteMargin;
    if (metrics.horizontalAdvance(m_note) <= room)
        return {m_note};
    // As much as fits on the first line, the rest on the second, cut short where it must be.
    qsizetype fit = m_note.size();
    while (fit > 1 && (metrics.horizontalAdvance(m_note.left(fit)) > room ||
                       m_note.at(fit - 1).isHighSurrogate()))
        --fit;
    return {m_note.left(fit), metrics.elidedText(m_note.mid(fit), Qt::ElideRight, room)};
}

QRect TGuidePanel::noteRect() const {
    return QRect(0, RowHeight, width(), height() - RowHeight).adjusted(1, 1, -1, -1);
}

void TGuidePanel::setNote(const QString& text) {
    if (m_note == text)
        return;
    m_note = text;
    setToolTip(text);
    const qsizetype lines = noteLines().size();
    resize(width(), RowHeight + (lines > 0 ? int(lines) * fontMetrics().height() + 6 : 0));
    update();
}

void TGuidePanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    for (int i = 0; i < PanelCount; ++i) {
        const QRect rect = panelRect(i);
        qDrawShadePanel(&painter, rect, palette(), true, 1);
        // Empty until the clock's first tick: the first paint then loads no face for them.
        if (!m_texts.at(size_t(i)).isEmpty())
            painter.drawText(rect, Qt::AlignCenter, m_texts.at(size_t(i)));
    }
    if (!m_note.isEmpty()) {
        const QRect rect = noteRect();
        qDrawShadePanel(&painter, rect, palette(), true, 1);
        painter.drawText(rect.adjusted(NoteMargin - 1, 0, 1 - NoteMargin, 0),
                         Qt::AlignLeft | Qt::AlignVCenter, noteLines().join(QLatin1Char('\n')));
    }
}

void TGuidePanel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit DblClick();
}

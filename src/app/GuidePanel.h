#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>

// The main window's status bar: three sunken panels of centred text, the last one reaching to
// the right edge; below them, while there is one, a note across the whole width (how the last
// sync went) on one line or two, its full text in the tooltip.
class TGuidePanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int PanelCount = 3;
    static constexpr int RowHeight = 26;

    explicit TGuidePanel(QWidget* parent = nullptr);

    QString panelText(int index) const { return m_texts.at(size_t(index)); }
    void setPanelText(int index, const QString& text);
    QRect panelRect(int index) const;
    // Shows the note (none when empty); the panel takes the height it needs for it.
    void setNote(const QString& text);
    QString note() const { return m_note; }
    QRect noteRect() const;
    QStringList noteLines() const; // the note as painted: one line, or two, cut short

signals:
    void DblClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    static constexpr int NoteMargin = 5;

    std::array<QString, PanelCount> m_texts;
    QString m_note;
};

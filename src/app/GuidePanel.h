#pragma once

#include <QString>
#include <QWidget>
#include <array>

// The main window's status bar: three sunken panels of centred text, the last one reaching to
// the right edge.
class TGuidePanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int PanelCount = 3;

    explicit TGuidePanel(QWidget* parent = nullptr);

    QString panelText(int index) const { return m_texts.at(size_t(index)); }
    void setPanelText(int index, const QString& text);
    QRect panelRect(int index) const;

signals:
    void DblClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::array<QString, PanelCount> m_texts;
};

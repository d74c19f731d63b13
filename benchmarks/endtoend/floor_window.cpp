// The floor of start-up and of opening a window, with none of Kalendo's code: a window of the
// main window's size showing one line of Japanese text (any window with text pays for its font)
// and, on Return, a dialog of the day list's size holding an empty table and two buttons,
// closed by either button.
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace {

class FloorWindow : public QWidget {
protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() != Qt::Key_Return)
            return QWidget::keyPressEvent(event);
        // Made once and shown again at each Return, as a program keeps its dialogs.
        if (!m_dialog) {
            m_dialog = new QDialog(this);
            m_dialog->setFixedSize(868, 320);
            for (int i = 0; i < 2; ++i) {
                auto* button =
                    new QPushButton(i ? QStringLiteral("ｷｬﾝｾﾙ") : QStringLiteral("OK"), m_dialog);
                button->setGeometry(696 + 86 * i, 3, 80, 26);
                connect(button, &QPushButton::clicked, m_dialog, &QDialog::accept);
            }
            auto* table = new QTableWidget(0, 7, m_dialog);
            table->setGeometry(0, 32, 868, 288);
            table->setHorizontalHeaderLabels({QStringLiteral("日付"), QStringLiteral("№"),
                                              QStringLiteral("開始"), QStringLiteral("終了"),
                                              QStringLiteral("予定"), QStringLiteral("場所"),
                                              QStringLiteral("内容")});
        }
        m_dialog->exec();
    }

private:
    QDialog* m_dialog = nullptr;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    FloorWindow window;
    window.resize(240, 318);
    // Below where Kalendo's windows open, so that neither covers the other's.
    window.move(0, 850);
    auto* label = new QLabel(QStringLiteral("日 月 火 水 木 金 土 2025"), &window);
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(24);
    label->setFont(font);
    label->move(10, 10);
    window.show();
    return QApplication::exec();
}

#include "widgets/DeferredIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <memory>

namespace {

class DeferredIconEngine : public QIconEngine {
public:
    explicit DeferredIconEngine(std::function<QIcon()> make)
        : m_state(std::make_shared<State>(State{std::move(make), {}, false})) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    QString iconName() override { return icon().name(); }
    // Asking whether it is null must not make it: a control asks as it is built.
    bool isNull() override { return m_state->made && m_state->icon.isNull(); }
    QString key() const override { return QStringLiteral("DeferredIconEngine"); }
    // Copies share what is made, so the icon is made at most once.
    QIconEngine* clone() const override { return new DeferredIconEngine(m_state); }

private:
    struct State {
        std::function<QIcon()> make;
        QIcon icon;
        bool made;
    };
    explicit DeferredIconEngine(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    const QIcon& icon() {
        if (!m_state->made) {
            m_state->made = true;
            m_state->icon = m_state->make();
            m_state->make = nullptr;
        }
        return m_state->icon;
    }

    std::shared_ptr<State> m_state;
};

} // namespace

QIcon DeferredIcon(std::function<QIcon()> make) {
    return QIcon(new DeferredIconEngine(std::move(make)));
}

#include "widgets/Cp932LineEdit.h"

#include "data/Codec.h"
#include "data/KalendoError.h"
#include "widgets/FormParts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QScreen>

#include <algorithm>

namespace {

// How bytes that are no code page 932 show: as control characters (U+001A) or U+FFFD. None is
// ever written back: Ctrl-Z would end the file for every reader.
QString withoutDamageMarks(QString text) {
    text.removeIf([](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::ReplacementCharacter;
    });
    return text;
}

} // namespace

Cp932LineEdit::Cp932LineEdit(int maxBytes, QWidget* parent)
    : QLineEdit(parent), m_maxBytes(maxBytes) {
    setAttribute(Qt::WA_InputMethodEnabled, true);
    connect(this, &QLineEdit::textChanged, this, &Cp932LineEdit::keepGoodText);
}

void Cp932LineEdit::setStoredBytes(const QByteArray& stored, bool trimmed) {
    m_stored = stored;
    // The box holds maxLength() characters. Longer text (a hand edit) is shown cut and can then
    // only be read there, so that an OK never saves it cut. Only what is shown is decoded: two
    // bytes a character at most, and one more to tell that there is more.
    QByteArrayView shown = stored;
    if (trimmed)
        shown = shown.trimmed();
    const qsizetype most = 2 * qsizetype(maxLength()) + 1;
    m_storedText = Codec::toUnicode(shown.first(std::min(shown.size(), most)).toByteArray());
    const bool cut = m_storedText.size() > maxLength();
    m_storedText.truncate(maxLength());
    setReadOnly(cut);
    // Shown as it is, even where it holds marks of bytes that are no code page 932.
    m_lastGood = m_storedText;
    setText(m_storedText);
}

QByteArray Cp932LineEdit::bytes() const {
    if (isUnchanged())
        return m_stored;
    return Codec::encodeOrThrow(withoutDamageMarks(text()));
}

int Cp932LineEdit::bytesFree() const {
    QString rest = text();
    if (hasSelectedText())
        rest.remove(selectionStart(), selectedText().size());
    return std::max(m_maxBytes - Codec::byteLength(rest), 0);
}

bool Cp932LineEdit::refuseUnencodable(const QString& text) {
    const QString bad = Codec::firstUnencodable(text);
    if (bad.isEmpty())
        return false;
    showRefusal(KalendoError::notEncodable(bad).message());
    return true;
}

QString Cp932LineEdit::withoutUnencodable(const QString& text) {
    QString kept = text;
    const QString first = Codec::firstUnencodable(kept);
    if (first.isEmpty())
        return kept;
    for (QString bad = first; !bad.isEmpty(); bad = Codec::firstUnencodable(kept))
        kept.remove(bad);
    showRefusal(KalendoError::notEncodable(first).message());
    return kept;
}

void Cp932LineEdit::showRefusal(const QString& message) {
    emit refused(message);
    // A modal box would swallow the keys typed while it is up: this one stands beside the
    // window, shown once the keystroke is dealt with, and leaves the keyboard to the field.
    if (!m_refusalBox) {
        m_refusalBox = new QMessageBox(QMessageBox::Warning, QStringLiteral("警告メッセージ"),
                                       QString(), QMessageBox::Ok, window());
        m_refusalBox->setObjectName(QStringLiteral("refusalMessage"));
        m_refusalBox->setTextFormat(Qt::PlainText);
        m_refusalBox->setWindowModality(Qt::NonModal);
        m_refusalBox->setAttribute(Qt::WA_ShowWithoutActivating);
    }
    m_refusalBox->setText(message);
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_refusalBox || !isVisible())
                return;
            // Below the window, or above it near the screen's foot, so it hides no field.
            m_refusalBox->adjustSize();
            const QRect frame = window()->frameGeometry();
            QPoint at(frame.left(), frame.bottom() + 1);
            if (const QScreen* screen = window()->screen();
                screen && at.y() + m_refusalBox->height() > screen->availableGeometry().bottom())
                at.setY(std::max(frame.top() - m_refusalBox->frameGeometry().height(), 0));
            m_refusalBox->move(at);
            // Some platforms activate every window shown: the keyboard goes back at once.
            QWidget* active = QApplication::activeWindow();
            m_refusalBox->show();
            if (active)
                active->activateWindow();
        },
        Qt::QueuedConnection);
}

void Cp932LineEdit::hideEvent(QHideEvent* event) {
    if (m_refusalBox)
        m_refusalBox->hide();
    QLineEdit::hideEvent(event);
}

QString Cp932LineEdit::filtered(const QString& text, bool typed) const {
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        // A line break or control character would split or corrupt the line of the file.
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7f)
            continue;
        if (ch == QLatin1Char(',') && (typed || m_allCommasRefused))
            continue;
        out.append(ch);
    }
    return out;
}

bool Cp932LineEdit::insertTyped(const QString& text) {
    const QString t = withoutUnencodable(filtered(Codec::mapTyped(text), true));
    if (t.isEmpty())
        return false;
    if (m_maxBytes > 0 && Codec::byteLength(t) > bytesFree())
        return false;
    insert(t);
    return true;
}

bool Cp932LineEdit::insertPasted(const QString& text) {
    QString t = filtered(Codec::mapTyped(text), false);
    if (t.isEmpty() || refuseUnencodable(t))
        return false;
    if (m_maxBytes > 0)
        t = Codec::truncateToBytes(t, bytesFree());
    if (t.isEmpty())
        return false;
    insert(t);
    return true;
}

void Cp932LineEdit::pasteClipboard(bool selection) {
    if (isReadOnly())
        return;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    insertPasted(clipboard->text(selection ? QClipboard::Selection : QClipboard::Clipboard));
}

void Cp932LineEdit::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        pasteClipboard(false);
        event->accept();
        return;
    }
    const QString text = event->text();
    const bool printable = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() != 0x7f;
    });
    const auto commands = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (printable && !(event->modifiers() & commands) && !isReadOnly()) {
        insertTyped(text);
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void Cp932LineEdit::inputMethodEvent(QInputMethodEvent* event) {
    const QString commit = event->commitString();
    if (commit.isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    QString t = withoutUnencodable(filtered(Codec::mapTyped(commit), true));
    if (m_maxBytes > 0)
        t = Codec::truncateToBytes(t, bytesFree());
    if (t == commit) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent allowed(event->preeditString(), event->attributes());
    allowed.setCommitString(t, event->replacementStart(), event->replacementLength());
    QLineEdit::inputMethodEvent(&allowed);
}

void Cp932LineEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The standard menu names its actions only by their text, which ends in the shortcut.
    const QString pasteKey =
        QLatin1Char('\t') + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
    for (QAction* action : menu->actions()) {
        if (action->text().endsWith(pasteKey)) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, [this] { pasteClipboard(false); });
        }
    }
    menu->popup(event->globalPos());
}

void Cp932LineEdit::dropEvent(QDropEvent* event) {
    if (event->source() == this || !event->mimeData()->hasText()) {
        QLineEdit::dropEvent(event);
        return;
    }
    deselect();
    setCursorPosition(cursorPositionAt(event->position().toPoint()));
    insertPasted(event->mimeData()->text());
    event->acceptProposedAction();
}

void Cp932LineEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        pasteClipboard(true);
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void Cp932LineEdit::keepGoodText(const QString& text) {
    // Whatever way text got past the checks above, text the file cannot hold never stays;
    // marks of stored bytes that are no code page 932 may, since they are never written.
    if (Codec::canEncode(withoutDamageMarks(text))) {
        m_lastGood = text;
        return;
    }
    setText(m_lastGood);
}

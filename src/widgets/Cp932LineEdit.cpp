#include "widgets/Cp932LineEdit.h"

#include "data/Codec.h"
#include "data/KalendoError.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>

#include <algorithm>

Cp932LineEdit::Cp932LineEdit(int maxBytes, QWidget* parent)
    : QLineEdit(parent), m_maxBytes(maxBytes) {
    setAttribute(Qt::WA_InputMethodEnabled, true);
    connect(this, &QLineEdit::textChanged, this, &Cp932LineEdit::keepGoodText);
}

QByteArray Cp932LineEdit::bytes() const {
    // Control characters can only come from bytes of a damaged file shown as U+001A; written
    // back as Ctrl-Z they would end the file for every reader.
    QString t = text();
    t.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
    return Codec::encodeOrThrow(t);
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
    const QString message = KalendoError::notEncodable(bad).message();
    emit refused(message);
    QMessageBox::warning(this, QStringLiteral("警告メッセージ"), message);
    return true;
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
    const QString t = filtered(text, true);
    if (t.isEmpty() || refuseUnencodable(t))
        return false;
    if (m_maxBytes > 0 && Codec::byteLength(t) > bytesFree())
        return false;
    insert(t);
    return true;
}

bool Cp932LineEdit::insertPasted(const QString& text) {
    QString t = filtered(text, false);
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
    QString t = filtered(commit, true);
    if (refuseUnencodable(t))
        t.clear();
    else if (m_maxBytes > 0)
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
    // Whatever way text got past the checks above, text the file cannot hold never stays.
    if (Codec::canEncode(text)) {
        m_lastGood = text;
        return;
    }
    setText(m_lastGood);
}

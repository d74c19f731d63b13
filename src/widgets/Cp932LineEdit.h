#pragma once

#include <QLineEdit>
#include <QPointer>

class QMessageBox;

// A one-line text field whose text always fits a code page 932 field of a data file.
//
// Usage:
//   auto* edit = new Cp932LineEdit(40, this);  // at most 40 bytes; 0 means no byte limit
//   edit->setAllCommasRefused(true);           // also drop pasted commas (rule titles)
//   QByteArray bytes = edit->bytes();          // the text as the file will hold it
//   edit->setStoredBytes(cell);                // an entry's field as stored, whatever the bytes
// Typing beyond the limit is refused; pasted text is cut at a whole character to fit. Characters
// that input methods and web pages give in another form (〜 U+301C, ...) are taken as their code
// page 932 forms. A character code page 932 cannot hold (emoji, 𠮷, Hangul, ...) is refused: typed
// or committed by the input method it alone is dropped and the rest goes in; a paste or drop
// holding one is refused whole. The message then shows below the window without taking the
// keyboard, so nothing typed meanwhile is lost. A typed "," is discarded; line breaks and other
// control characters in pasted text are dropped. The input method is on.
class Cp932LineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit Cp932LineEdit(int maxBytes = 0, QWidget* parent = nullptr);

    int maxBytes() const { return m_maxBytes; }
    void setMaxBytes(int maxBytes) { m_maxBytes = maxBytes; }
    bool allCommasRefused() const { return m_allCommasRefused; }
    void setAllCommasRefused(bool refused) { m_allCommasRefused = refused; }

    // Shows stored bytes (trimmed of blanks when asked): until the user changes the text,
    // bytes() gives them back exactly, even bytes that are no code page 932. Text longer than
    // the box holds is shown cut, and the box is then read-only.
    void setStoredBytes(const QByteArray& stored, bool trimmed = false);

    // The stored bytes while the text shows them unchanged; otherwise the text in code page
    // 932, without the marks of undecodable bytes (control characters, U+FFFD).
    QByteArray bytes() const;
    // Whether the text still shows the stored bytes.
    bool isUnchanged() const { return text() == m_storedText; }

    // Inserts text as a paste does (replacing the selection): control characters dropped,
    // commas too when all are refused, cut to the byte limit; refused whole with a message
    // when code page 932 cannot hold it. Returns whether anything was inserted.
    bool insertPasted(const QString& text);
    // Inserts text as typing does: characters code page 932 cannot hold dropped with a
    // message, the rest refused whole when it does not fit the limit.
    bool insertTyped(const QString& text);

signals:
    // Text was refused for not being code page 932; emitted before the message shows.
    void refused(const QString& message);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int bytesFree() const;
    bool refuseUnencodable(const QString& text);
    // Typed text without the characters code page 932 cannot hold, the first of them told.
    QString withoutUnencodable(const QString& text);
    void showRefusal(const QString& message);
    QString filtered(const QString& text, bool typed) const;
    void pasteClipboard(bool selection);
    void keepGoodText(const QString& text);

    int m_maxBytes;
    bool m_allCommasRefused = false;
    QString m_lastGood;
    QByteArray m_stored;
    QString m_storedText;
    QPointer<QMessageBox> m_refusalBox;
};

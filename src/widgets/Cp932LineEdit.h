#pragma once

#include <QLineEdit>

// A one-line text field whose text always fits a code page 932 field of a data file.
//
// Usage:
//   auto* edit = new Cp932LineEdit(40, this);  // at most 40 bytes; 0 means no byte limit
//   edit->setAllCommasRefused(true);           // also drop pasted commas (rule titles)
//   QByteArray bytes = edit->bytes();          // the text as the file will hold it
// Typing beyond the limit is refused; pasted text is cut at a whole character to fit. Text that
// code page 932 cannot hold (emoji, 𠮷, Hangul, ...) is refused whole with a message box, typed,
// pasted, dropped or committed by the input method alike. A typed "," is discarded; line breaks
// and other control characters in pasted text are dropped. The input method is on.
class Cp932LineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit Cp932LineEdit(int maxBytes = 0, QWidget* parent = nullptr);

    int maxBytes() const { return m_maxBytes; }
    void setMaxBytes(int maxBytes) { m_maxBytes = maxBytes; }
    bool allCommasRefused() const { return m_allCommasRefused; }
    void setAllCommasRefused(bool refused) { m_allCommasRefused = refused; }

    // The text in code page 932, without control characters.
    QByteArray bytes() const;

    // Inserts text as a paste does (replacing the selection): control characters dropped,
    // commas too when all are refused, cut to the byte limit; refused whole with a message
    // when code page 932 cannot hold it. Returns whether anything was inserted.
    bool insertPasted(const QString& text);
    // Inserts text as typing does: refused whole when it does not fit the limit.
    bool insertTyped(const QString& text);

signals:
    // Text was refused for not being code page 932; emitted before the message box shows.
    void refused(const QString& message);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int bytesFree() const;
    bool refuseUnencodable(const QString& text);
    QString filtered(const QString& text, bool typed) const;
    void pasteClipboard(bool selection);
    void keepGoodText(const QString& text);

    int m_maxBytes;
    bool m_allCommasRefused = false;
    QString m_lastGood;
};

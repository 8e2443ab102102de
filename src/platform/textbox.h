#pragma once

#include <QPlainTextEdit>

class QMenu;

// A multi-line text box, read-only to the user, that keeps its text exactly as the program
// wrote it (CR characters included) while showing it cleanly: line breaks come from LF only,
// so the CR of CR LF or CR CR LF never shows as an extra empty line. Appending costs in
// proportion to the piece appended, not to the text already there. A line longer than
// MaxShownLine characters is shown broken into parts of that length: laying out one huge line
// again on every piece appended to it would take time that grows with the whole line.
// Its context menu opens on the right mouse button, the Menu key and Shift+F10 alike.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget *parent = nullptr);

    const QString &Text() const { return m_text; }
    void SetText(const QString &text);
    // Same result as SetText(Text() + piece).
    void AppendText(const QString &piece);
    // Same text as Text().replace(from, length, text), without TextReset; the caret and the view
    // stay where they were relative to the text around the range. Where the range begins a line
    // and a line end or the end of the text follows it (as an answer does between the
    // program's headers) only the range is shown anew.
    void ReplaceText(qsizetype from, qsizetype length, const QString &text);
    // The index in Text() of the place the context menu was last opened on.
    qsizetype MenuTextIndex() const { return textIndexAt(m_menuPosition); }

    static constexpr qsizetype MaxShownLine = 4096;

    // What the box shows for a piece of its text: CRs dropped, other control characters
    // (TAB and LF aside) as their visible Unicode control pictures, and a line break after
    // every MaxShownLine characters of one line. column is the length of the shown line the
    // piece continues, and is advanced past the piece.
    static QString displayForm(QStringView piece, qsizetype &column);

Q_SIGNALS:
    // The context menu is about to open, holding Qt's own entries (Copy, Select All); the
    // owner may put its own before them. line is the shown line under the mouse pointer or,
    // when the menu was opened from the keyboard, the line of the text cursor. onSelection:
    // the menu was opened on the selection (the pointer inside it, or from the keyboard while
    // text is selected).
    void ContextMenuOpening(QMenu *menu, const QString &line, bool onSelection);
    // The program replaced the whole text (SetText), as Search does when it empties the box.
    void TextReset();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool isOnSelection(QPoint at) const;
    // Where the character at a text index is shown, and the first text index shown at or
    // after a shown position (a position of the document).
    qsizetype shownPositionOf(qsizetype index) const;
    qsizetype textIndexAt(qsizetype shown) const;
    void showAll();

    QString m_text;
    qsizetype m_shownColumn = 0;
    int m_menuPosition = 0;
};

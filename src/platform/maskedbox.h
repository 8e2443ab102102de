#pragma once

#include <QLineEdit>
#include <QList>
#include <QString>

// A masked edit field of two positions, each a decimal digit or a blank: the first asks for a
// digit, the second admits one. It keeps no input mask or validator of Qt's, so an incomplete
// content never holds the focus back nor keeps Enter from the dialog's default button.
//
// Editing, as a masked box does it:
// - A typed digit overwrites the position at the caret and the caret moves on; with a
//   selection, the selected positions are blanked and the digit goes into the first of them.
//   With the caret after the last position, a digit is appended to the number when there is
//   room (" 5" or "5 " then "0" gives "50"); otherwise it is refused. Any other character
//   (letters, signs, space) is refused and changes nothing.
// - Deleting leaves blanks in place: Backspace blanks the position before the caret and moves
//   left, Delete blanks the one at the caret; with a selection both blank the selected positions.
//   Ctrl+Backspace blanks up to the caret, Ctrl+Delete from it.
// - Paste, a drop and an input-method commit type the digits of their text one after another
//   from the caret (a drop: from where it lands); other characters are dropped and digits that
//   find no room are dropped. Text holding no digit changes nothing. Drops are only taken while
//   the field is being edited.
// - Cut copies the selection and blanks it; Copy copies the selected positions as shown.
// - Undo and Redo step through the user's edits; a write by the program clears them.
// - Digits of other scripts (e.g. fullwidth) are taken as their ASCII digits.
class MaskEdBox : public QLineEdit {
    Q_OBJECT
public:
    explicit MaskEdBox(QWidget *parent = nullptr);

    // The two positions, a blank for each empty one: "10", "5 ", " 5", "  ".
    QString Text() const { return m_positions; }
    // Places the characters position by position; a non-digit becomes a blank, extra ones are
    // dropped. Emits Change when the content differs, never Validate.
    void SetText(const QString &text);

Q_SIGNALS:
    // The focus left the field for another control of its window; the display format is applied
    // after the handlers return, so a handler may still SetText.
    void Validate();
    // The content changed, by a user edit or by SetText.
    void Change();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    struct Snapshot {
        QString positions;
        int cursor = 0;
    };
    // Positions [start, end) being edited: the selection, or an empty range at the caret.
    struct Range {
        int start = 0;
        int end = 0;
    };

    Range editRange() const;
    void typeDigits(const QString &text, Range range);
    void blank(Range range, int cursor);
    void commit(const QString &positions, int cursor);
    void restore(QList<Snapshot> &from, QList<Snapshot> &to);
    void cutSelection();
    void showContent();
    void adoptForeignText(const QString &text);
    bool finishEditing();

    QString m_positions;
    bool m_editing = false;  // shows the raw positions; false: the display format
    bool m_updating = false; // the text is being written by this class
    QList<Snapshot> m_undo;
    QList<Snapshot> m_redo;
};

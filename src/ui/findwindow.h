#pragma once

#include <QDialog>
#include <QTextCursor>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextDocument;
class TextBox;

// The Find window: finds text in what a text box shows, forward or back from the box's
// selection or cursor, wrapping around at either end. It is non-modal and owned by the main
// window, beside which it opens (or, with no room on either side, where it covers none of the
// fields given as keepClear); Esc closes it alone. Its status line says "Wrapped" or
// "Not found", never a message box, and is emptied when the text to find changes, when the
// window is opened again and when the box's whole text is replaced.
class FindWindow : public QDialog {
    Q_OBJECT
public:
    FindWindow(TextBox *box, const QList<QWidget *> &keepClear, QWidget *owner);

    // Shows the window (placed the first time), the last text searched for in its field,
    // selected, and an empty status line.
    void present();
    // The next or previous match of the last text searched for (F3, Shift+F3); with none yet,
    // the window opens instead, and it opens showing "Not found" when there is no match.
    void findAgain(bool backward);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The first match of text in what document shows that begins at or after the end of from's
    // selection (backward: the last that begins before its start), or failing that the first
    // (last) one from the other end, with wrapped set. A null cursor when there is none.
    static QTextCursor find(QTextDocument *document, const QTextCursor &from, const QString &text,
                            bool matchCase, bool backward, bool *wrapped);
    void findFromField(bool backward);
    void search(const QString &text, bool backward);
    void place();

    TextBox *m_box;
    QList<QWidget *> m_keepClear;
    QLabel *lblFind;
    QLineEdit *txtFind;
    QCheckBox *chkMatchCase;
    QPushButton *btnNext;
    QPushButton *btnPrevious;
    QPushButton *btnClose;
    QLabel *lblFindStatus;
    QString m_lastText;
    bool m_placed = false;
};

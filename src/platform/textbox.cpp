#include "textbox.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

TextBox::TextBox(QWidget *parent)
    : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(
        false); // the program rewrites the text; an undo history would only cost memory
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void TextBox::SetText(const QString &text) {
    m_text = text;
    m_shownColumn = 0;
    setPlainText(displayForm(text, m_shownColumn));
}

void TextBox::AppendText(const QString &piece) {
    if (piece.isEmpty())
        return;
    m_text += piece;
    const QString shown = displayForm(piece, m_shownColumn);
    if (shown.isEmpty())
        return;
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
}

QString TextBox::displayForm(QStringView piece, qsizetype &column) {
    QString shown(piece.size() + piece.size() / MaxShownLine + 1, Qt::Uninitialized);
    QChar *out = shown.data();
    for (const QChar c : piece) {
        const char16_t u = c.unicode();
        if (u == u'\r')
            continue;
        if (u == u'\n') {
            *out++ = c;
            column = 0;
            continue;
        }
        if (column == MaxShownLine) {
            *out++ = QLatin1Char('\n'); // shown only: the text keeps its line whole
            column = 0;
        }
        ++column;
        if (u < 0x20 && u != u'\t')
            *out++ = QChar(char16_t(0x2400 + u));
        else if (u == 0x7f)
            *out++ = QChar(char16_t(0x2421));
        else
            *out++ = c;
    }
    shown.truncate(out - shown.constData());
    return shown;
}

#include "textbox.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

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
    showAll();
    Q_EMIT TextReset();
}

void TextBox::showAll() {
    m_shownColumn = 0;
    setPlainText(displayForm(m_text, m_shownColumn));
}

void TextBox::ReplaceText(qsizetype from, qsizetype length, const QString &text) {
    from = std::clamp<qsizetype>(from, 0, m_text.size());
    length = std::clamp<qsizetype>(length, 0, m_text.size() - from);
    qsizetype after = from + length;
    while (after < m_text.size() && m_text.at(after) == QLatin1Char('\r'))
        ++after;
    const bool startsLine = from == 0 || m_text.at(from - 1) == QLatin1Char('\n');
    const bool lineEndFollows = after == m_text.size() || m_text.at(after) == QLatin1Char('\n');
    const qsizetype shownFrom = shownPositionOf(from);
    const qsizetype shownTo = shownPositionOf(from + length);
    const QTextCursor caret = textCursor();
    const int anchor = caret.anchor();
    const int position = caret.position();
    const int column = horizontalScrollBar()->value();
    const int line = verticalScrollBar()->value();

    const bool toTheEnd = after == m_text.size();
    m_text.replace(from, length, text);
    qsizetype shownSize = 0;
    if (startsLine && lineEndFollows) {
        qsizetype shownColumn = 0;
        const QString shown = displayForm(text, shownColumn);
        if (toTheEnd)
            m_shownColumn = shownColumn; // what is appended next continues this line
        QTextCursor range(document());
        range.setPosition(int(shownFrom));
        range.setPosition(int(shownTo), QTextCursor::KeepAnchor);
        range.insertText(shown);
        shownSize = shown.size();
    } else {
        showAll();
        shownSize = shownPositionOf(from + text.size()) - shownFrom;
    }
    // A caret inside the range goes to its start; after it, it moves with the text.
    const qsizetype delta = shownSize - (shownTo - shownFrom);
    auto moved = [&](qsizetype at) {
        return int(at < shownFrom ? at : at < shownTo ? shownFrom : at + delta);
    };
    QTextCursor kept(document());
    kept.setPosition(moved(anchor));
    kept.setPosition(moved(position), QTextCursor::KeepAnchor);
    setTextCursor(kept);
    horizontalScrollBar()->setValue(column);
    verticalScrollBar()->setValue(line);
}

namespace {
// How many characters the box shows for one character of the text, with column (the length of
// the shown line) advanced: none for a CR, two where displayForm breaks a long line before it.
int shownWidth(char16_t u, qsizetype &column) {
    if (u == u'\r')
        return 0;
    if (u == u'\n') {
        column = 0;
        return 1;
    }
    if (column == TextBox::MaxShownLine) {
        column = 1;
        return 2;
    }
    ++column;
    return 1;
}
} // namespace

qsizetype TextBox::shownPositionOf(qsizetype index) const {
    qsizetype shown = 0;
    qsizetype column = 0;
    for (qsizetype i = 0; i < index && i < m_text.size(); ++i)
        shown += shownWidth(m_text.at(i).unicode(), column);
    return shown;
}

qsizetype TextBox::textIndexAt(qsizetype shownAt) const {
    qsizetype shown = 0;
    qsizetype column = 0;
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        const int width = shownWidth(m_text.at(i).unicode(), column);
        if (width == 0)
            continue;
        shown += width - 1; // a break shown before the character
        if (shown >= shownAt)
            return i;
        ++shown;
    }
    return m_text.size();
}

void TextBox::AppendText(const QString &piece) {
    if (piece.isEmpty())
        return;
    m_text += piece;
    const QString shown = displayForm(piece, m_shownColumn);
    if (shown.isEmpty())
        return;
    // A caret or selection edge at the very end would be carried along by the inserted text;
    // the box keeps it where the user left it, so the view and a search start stay put.
    const QTextCursor caret = textCursor();
    const int anchor = caret.anchor();
    const int position = caret.position();
    const int oldEnd = document()->characterCount() - 1;
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
    if (anchor == oldEnd || position == oldEnd) {
        const int column = horizontalScrollBar()->value();
        const int line = verticalScrollBar()->value();
        QTextCursor kept(document());
        kept.setPosition(anchor);
        kept.setPosition(position, QTextCursor::KeepAnchor);
        setTextCursor(kept);
        horizontalScrollBar()->setValue(column);
        verticalScrollBar()->setValue(line);
    }
}

QString TextBox::displayForm(QStringView piece, qsizetype &column) {
    QString shown(piece.size() + piece.size() / MaxShownLine + 1, Qt::Uninitialized);
    QChar *out = shown.data();
    const QChar *in = piece.data();
    const QChar *const end = in + piece.size();
    while (in != end) {
        // A run of characters shown as they are, within the shown line, is copied whole.
        const QChar *run = in;
        const QChar *const limit = in + std::min<qsizetype>(end - in, MaxShownLine - column);
        while (run != limit && run->unicode() >= 0x20 && run->unicode() != 0x7f)
            ++run;
        if (run != in) {
            out = std::copy(in, run, out);
            column += run - in;
            in = run;
            continue;
        }
        const QChar c = *in++;
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

void TextBox::contextMenuEvent(QContextMenuEvent *event) {
    QPoint at;
    QTextCursor lineCursor;
    QPoint globalAt;
    bool onSelection = false;
    if (event->reason() == QContextMenuEvent::Keyboard) {
        // At the text cursor, kept inside the visible part of the box.
        const QRect inside = viewport()->rect();
        const QPoint corner = cursorRect().bottomLeft();
        at = QPoint(std::clamp(corner.x(), inside.left(), inside.right()),
                    std::clamp(corner.y(), inside.top(), inside.bottom()));
        lineCursor = textCursor();
        globalAt = viewport()->mapToGlobal(at);
        onSelection = lineCursor.hasSelection();
    } else {
        at = event->pos(); // a mouse request reaches the box through its viewport
        lineCursor = cursorForPosition(at);
        globalAt = event->globalPos();
        onSelection = isOnSelection(at);
    }
    m_menuPosition = lineCursor.position();
    QMenu *menu = createStandardContextMenu(at);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    Q_EMIT ContextMenuOpening(menu, lineCursor.block().text(), onSelection);
    menu->popup(globalAt);
    event->accept();
}

bool TextBox::isOnSelection(QPoint at) const {
    const QTextCursor selection = textCursor();
    if (!selection.hasSelection())
        return false;
    // The character boundary nearest the pointer, and the pointer's side of it: on the line's
    // height, and past the start (before the end) when it is the selection's first (last) one.
    const QTextCursor hit = cursorForPosition(at);
    const QRect edge = cursorRect(hit);
    if (at.y() < edge.top() || at.y() > edge.bottom())
        return false;
    const int position = hit.position();
    if (position < selection.selectionStart() || position > selection.selectionEnd())
        return false;
    if (position == selection.selectionStart())
        return at.x() >= edge.left();
    if (position == selection.selectionEnd())
        return at.x() < edge.left();
    return true;
}

void TextBox::keyPressEvent(QKeyEvent *event) {
    // Qt maps neither key to a context menu by itself on every platform.
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_F10 && mods == Qt::ShiftModifier) ||
        (event->key() == Qt::Key_Menu && mods == Qt::NoModifier)) {
        QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(), QPoint(), mods);
        contextMenuEvent(&request);
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

#include "maskedbox.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QScopedValueRollback>

#include <algorithm>

namespace {

constexpr int kPositions = 2;
constexpr qsizetype kUndoDepth = 100;

QChar blankChar() {
    return QLatin1Char(' ');
}

QString emptyPositions() {
    return QString(kPositions, blankChar());
}

// The ASCII digit for any decimal digit (fullwidth and other scripts too); null otherwise.
QChar asciiDigit(QChar c) {
    if (c.category() != QChar::Number_DecimalDigit)
        return {};
    const int value = c.digitValue();
    return value < 0 ? QChar() : QLatin1Char(static_cast<char>('0' + value));
}

QString positionsFrom(const QString &text) {
    QString positions = emptyPositions();
    const qsizetype count = std::min<qsizetype>(kPositions, text.size());
    for (qsizetype i = 0; i < count; ++i) {
        const QChar digit = asciiDigit(text.at(i));
        if (!digit.isNull())
            positions[i] = digit;
    }
    return positions;
}

bool isPositions(const QString &text) {
    return text.size() == kPositions && std::all_of(text.begin(), text.end(), [](QChar c) {
               return c == QLatin1Char(' ') || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
           });
}

// The display format "#0": the number without leading zeros or blanks, empty for no digit.
QString displayFormat(const QString &positions) {
    QString digits = positions;
    digits.remove(blankChar());
    return digits.isEmpty() ? QString() : QString::number(digits.toInt());
}

// Same test as QLineEdit's for a key that inserts its text.
bool insertsText(const QKeyEvent *event) {
    const QString text = event->text();
    if (text.isEmpty())
        return false;
    const QChar c = text.at(0);
    if (c.category() == QChar::Other_Format)
        return true;
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (mods == Qt::ControlModifier || mods == (Qt::ShiftModifier | Qt::ControlModifier))
        return false;
    return c.isPrint() || c.category() == QChar::Other_PrivateUse ||
           (c.isHighSurrogate() && text.size() > 1 && text.at(1).isLowSurrogate());
}

bool holdsDigit(const QString &text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return !asciiDigit(c).isNull(); });
}

} // namespace

MaskEdBox::MaskEdBox(QWidget *parent)
    : QLineEdit(parent)
    , m_positions(emptyPositions()) {
    setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhNoPredictiveText);
    // Any change made behind this class's back (QLineEdit's own slots, accessibility tools).
    connect(this, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (!m_updating)
            adoptForeignText(text);
    });
    // The window's focus may move elsewhere while it is inactive, with no focus-out sent here.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (m_editing && now && now != this && now->window() == window())
            finishEditing();
    });
}

void MaskEdBox::SetText(const QString &text) {
    const QString positions = positionsFrom(text);
    m_undo.clear();
    m_redo.clear();
    if (positions == m_positions)
        return;
    const int cursor = std::min(cursorPosition(), kPositions);
    m_positions = positions;
    showContent();
    if (m_editing)
        setCursorPosition(cursor);
    Q_EMIT Change();
}

MaskEdBox::Range MaskEdBox::editRange() const {
    if (hasSelectedText())
        return {std::clamp(selectionStart(), 0, kPositions),
                std::clamp(selectionEnd(), 0, kPositions)};
    const int cursor = std::clamp(cursorPosition(), 0, kPositions);
    return {cursor, cursor};
}

void MaskEdBox::typeDigits(const QString &text, Range range) {
    if (!m_editing || !holdsDigit(text))
        return;
    QString positions = m_positions;
    int cursor = range.start;
    for (const QChar c : text) {
        const QChar digit = asciiDigit(c);
        if (digit.isNull())
            continue;
        if (range.start < range.end) {
            for (int i = range.start; i < range.end; ++i)
                positions[i] = blankChar();
            range.end = range.start;
        }
        if (cursor < kPositions) {
            positions[cursor++] = digit;
            continue;
        }
        QString number = positions;
        number.remove(blankChar());
        if (number.size() >= kPositions)
            break;
        number += digit;
        positions = number.leftJustified(kPositions, blankChar());
        cursor = static_cast<int>(number.size());
    }
    commit(positions, cursor);
}

void MaskEdBox::blank(Range range, int cursor) {
    if (!m_editing)
        return;
    QString positions = m_positions;
    for (int i = range.start; i < range.end; ++i)
        positions[i] = blankChar();
    commit(positions, cursor);
}

void MaskEdBox::commit(const QString &positions, int cursor) {
    if (positions == m_positions) {
        setCursorPosition(cursor);
        return;
    }
    m_undo.append({m_positions, cursorPosition()});
    if (m_undo.size() > kUndoDepth)
        m_undo.removeFirst();
    m_redo.clear();
    m_positions = positions;
    showContent();
    setCursorPosition(cursor);
    Q_EMIT Change();
}

void MaskEdBox::restore(QList<Snapshot> &from, QList<Snapshot> &to) {
    if (!m_editing || from.isEmpty())
        return;
    const Snapshot snapshot = from.takeLast();
    to.append({m_positions, cursorPosition()});
    const bool changed = snapshot.positions != m_positions;
    m_positions = snapshot.positions;
    showContent();
    setCursorPosition(snapshot.cursor);
    if (changed)
        Q_EMIT Change();
}

void MaskEdBox::cutSelection() {
    if (!m_editing || !hasSelectedText())
        return;
    copy();
    const Range range = editRange();
    blank(range, range.start);
}

void MaskEdBox::showContent() {
    const QString shown = m_editing ? m_positions : displayFormat(m_positions);
    if (QLineEdit::text() == shown)
        return;
    const QScopedValueRollback<bool> guard(m_updating, true);
    setText(shown);
}

void MaskEdBox::adoptForeignText(const QString &text) {
    const int cursor = std::min(cursorPosition(), kPositions);
    if (!m_editing) {
        SetText(text);
        showContent();
        return;
    }
    const QString positions = isPositions(text) ? text : positionsFrom(text);
    if (positions != m_positions) {
        commit(positions, cursor); // m_positions still holds the content before the change
        return;
    }
    showContent();
    setCursorPosition(cursor);
}

bool MaskEdBox::finishEditing() {
    if (!m_editing)
        return true;
    const QPointer<MaskEdBox> alive(this);
    Q_EMIT Validate();
    if (!alive)
        return false;
    if (QApplication::focusWidget() == this)
        return true; // a handler gave the focus back
    m_editing = false;
    showContent();
    return true;
}

void MaskEdBox::keyPressEvent(QKeyEvent *event) {
    const Range range = editRange();
    const bool selected = range.start < range.end;
    if (event == QKeySequence::Undo) {
        restore(m_undo, m_redo);
    } else if (event == QKeySequence::Redo) {
        restore(m_redo, m_undo);
    } else if (event == QKeySequence::Cut) {
        cutSelection();
    } else if (event == QKeySequence::Paste) {
        const bool selection = event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier) &&
                               event->key() == Qt::Key_Insert &&
                               QGuiApplication::clipboard()->supportsSelection();
        typeDigits(QGuiApplication::clipboard()->text(selection ? QClipboard::Selection
                                                                : QClipboard::Clipboard),
                   range);
    } else if (event == QKeySequence::Delete) {
        if (selected)
            blank(range, range.start);
        else if (range.start < kPositions)
            blank({range.start, range.start + 1}, range.start);
    } else if (event == QKeySequence::DeleteEndOfWord || event == QKeySequence::DeleteEndOfLine) {
        blank(selected ? range : Range{range.start, kPositions}, range.start);
    } else if (event == QKeySequence::DeleteStartOfWord ||
               (event->key() == Qt::Key_Backspace && (event->modifiers() & Qt::ControlModifier))) {
        blank(selected ? range : Range{0, range.start}, selected ? range.start : 0);
    } else if (event == QKeySequence::DeleteCompleteLine) {
        blank({0, kPositions}, 0);
    } else if (event->key() == Qt::Key_Backspace) {
        if (selected)
            blank(range, range.start);
        else if (range.start > 0)
            blank({range.start - 1, range.start}, range.start - 1);
    } else if (event->key() == Qt::Key_Enter || event->key() == Qt::Key_Return ||
               !insertsText(event)) {
        // Caret moves, selection, copy; Enter is left unhandled so the dialog sees it.
        QLineEdit::keyPressEvent(event);
        return;
    } else {
        typeDigits(event->text(), range);
    }
    event->accept();
}

void MaskEdBox::inputMethodEvent(QInputMethodEvent *event) {
    // A composition is not shown: only what the input method commits counts.
    if (!event->commitString().isEmpty())
        typeDigits(event->commitString(), editRange());
    event->accept();
}

void MaskEdBox::focusInEvent(QFocusEvent *event) {
    if (!m_editing) {
        m_editing = true;
        showContent();
        setCursorPosition(0);
    }
    QLineEdit::focusInEvent(event);
}

void MaskEdBox::focusOutEvent(QFocusEvent *event) {
    const Qt::FocusReason reason = event->reason();
    // Window deactivation or a popup leaves the field owning its window's focus.
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
        if (!finishEditing())
            return;
    }
    QLineEdit::focusOutEvent(event);
}

void MaskEdBox::contextMenuEvent(QContextMenuEvent *event) {
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("maskEdBoxMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool selected = m_editing && hasSelectedText();
    const auto add = [this, menu](const QString &text, QKeySequence::StandardKey key,
                                  const QString &name, bool enabled, auto slot) {
        const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
        QAction *action =
            menu->addAction(shortcut.isEmpty() ? text : text + QLatin1Char('\t') + shortcut);
        action->setObjectName(name);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, slot);
    };
    add(tr("&Undo"), QKeySequence::Undo, QStringLiteral("edit-undo"),
        m_editing && !m_undo.isEmpty(), [this] { restore(m_undo, m_redo); });
    add(tr("&Redo"), QKeySequence::Redo, QStringLiteral("edit-redo"),
        m_editing && !m_redo.isEmpty(), [this] { restore(m_redo, m_undo); });
    menu->addSeparator();
    add(tr("Cu&t"), QKeySequence::Cut, QStringLiteral("edit-cut"), selected,
        [this] { cutSelection(); });
    add(tr("&Copy"), QKeySequence::Copy, QStringLiteral("edit-copy"), selected, [this] { copy(); });
    add(tr("&Paste"), QKeySequence::Paste, QStringLiteral("edit-paste"),
        m_editing && holdsDigit(QGuiApplication::clipboard()->text()),
        [this] { typeDigits(QGuiApplication::clipboard()->text(), editRange()); });
    add(tr("Delete"), QKeySequence::UnknownKey, QStringLiteral("edit-delete"), selected, [this] {
        const Range range = editRange();
        blank(range, range.start);
    });
    menu->addSeparator();
    add(tr("Select All"), QKeySequence::SelectAll, QStringLiteral("select-all"),
        !QLineEdit::text().isEmpty(), [this] { selectAll(); });
    menu->popup(event->globalPos());
    event->accept();
}

void MaskEdBox::mouseReleaseEvent(QMouseEvent *event) {
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (event->button() == Qt::MiddleButton && clipboard->supportsSelection()) {
        const int at = std::clamp(cursorPositionAt(event->position().toPoint()), 0, kPositions);
        typeDigits(clipboard->text(QClipboard::Selection), {at, at});
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void MaskEdBox::dragEnterEvent(QDragEnterEvent *event) {
    if (m_editing)
        QLineEdit::dragEnterEvent(event);
    else
        event->ignore();
}

void MaskEdBox::dragMoveEvent(QDragMoveEvent *event) {
    if (m_editing)
        QLineEdit::dragMoveEvent(event);
    else
        event->ignore();
}

void MaskEdBox::dropEvent(QDropEvent *event) {
    if (!m_editing || !event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    // Hides the drop caret QLineEdit showed while the drag moved over the field.
    QDragLeaveEvent leave;
    QLineEdit::dragLeaveEvent(&leave);
    const int at = std::clamp(cursorPositionAt(event->position().toPoint()), 0, kPositions);
    deselect();
    typeDigits(event->mimeData()->text(), {at, at});
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

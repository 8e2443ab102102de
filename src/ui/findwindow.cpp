#include "findwindow.h"

#include "controls.h"
#include "platform/textbox.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>

#include <algorithm>

namespace {
const QString Wrapped = QStringLiteral("Wrapped");
const QString NotFound = QStringLiteral("Not found");
} // namespace

FindWindow::FindWindow(TextBox *box, const QList<QWidget *> &keepClear, QWidget *owner)
    : QDialog(owner)
    , m_box(box)
    , m_keepClear(keepClear) {
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find"));
    setAttribute(Qt::WA_WindowPropagation); // the owner's dialog font
    setModal(false);

    const QString findTip = QStringLiteral("Text to find in the search results");
    lblFind = new QLabel(QStringLiteral("&Find what:"), this);
    lblFind->setObjectName(QStringLiteral("lblFind"));
    lblFind->setToolTip(findTip);
    txtFind = new QLineEdit(this);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setToolTip(findTip);
    txtFind->setAccessibleName(controls::withoutMarkers(lblFind->text()));
    txtFind->setMinimumWidth(200);
    lblFind->setBuddy(txtFind);

    chkMatchCase = new QCheckBox(QStringLiteral("Match &case"), this);
    chkMatchCase->setObjectName(QStringLiteral("chkMatchCase"));
    chkMatchCase->setToolTip(QStringLiteral("If checked, find only text in the same case"));
    chkMatchCase->setAccessibleName(controls::withoutMarkers(chkMatchCase->text()));

    btnNext = controls::commandButton(this, "btnNext", "&Next", "Find the next match (Enter, F3)");
    btnNext->setDefault(true);
    btnPrevious = controls::commandButton(this, "btnPrevious", "&Previous",
                                          "Find the previous match (Shift+Enter, Shift+F3)");
    btnClose = controls::commandButton(this, "btnClose", "C&lose", "Close the Find window (Esc)");

    lblFindStatus = new QLabel(this);
    lblFindStatus->setObjectName(QStringLiteral("lblFindStatus"));
    lblFindStatus->setToolTip(
        QStringLiteral("Whether the last find wrapped around or found nothing"));
    controls::makeStatusLabel(lblFindStatus, QStringLiteral("Find status"));

    auto *grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->addWidget(lblFind, 0, 0);
    grid->addWidget(txtFind, 0, 1);
    grid->addWidget(btnNext, 0, 2);
    grid->addWidget(chkMatchCase, 1, 1);
    grid->addWidget(btnPrevious, 1, 2);
    grid->addWidget(lblFindStatus, 2, 0, 1, 2);
    grid->addWidget(btnClose, 2, 2);

    setTabOrder(txtFind, chkMatchCase);
    setTabOrder(chkMatchCase, btnNext);
    setTabOrder(btnNext, btnPrevious);
    setTabOrder(btnPrevious, btnClose);

    auto updateButtons = [this] {
        const bool any = !txtFind->text().isEmpty();
        btnNext->setEnabled(any);
        btnPrevious->setEnabled(any);
    };
    updateButtons();
    connect(txtFind, &QLineEdit::textChanged, this, updateButtons);
    // A status says how the last search went; it belongs to neither another text nor another
    // answer.
    connect(txtFind, &QLineEdit::textChanged, lblFindStatus, &QLabel::clear);
    connect(m_box, &TextBox::TextReset, lblFindStatus, &QLabel::clear);
    connect(btnNext, &QPushButton::clicked, this, [this] { findFromField(false); });
    connect(btnPrevious, &QPushButton::clicked, this, [this] { findFromField(true); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

void FindWindow::present() {
    txtFind->setText(m_lastText);
    txtFind->selectAll();
    lblFindStatus->clear();
    if (!m_placed) {
        place();
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
    txtFind->setFocus();
}

void FindWindow::findAgain(bool backward) {
    if (m_lastText.isEmpty()) {
        present();
        return;
    }
    search(m_lastText, backward);
}

void FindWindow::findFromField(bool backward) {
    search(txtFind->text(), backward); // the buttons are disabled while the field is empty
}

void FindWindow::search(const QString &text, bool backward) {
    m_lastText = text;
    bool wrapped = false;
    const QTextCursor found = find(m_box->document(), m_box->textCursor(), text,
                                   chkMatchCase->isChecked(), backward, &wrapped);
    if (found.isNull()) {
        // F3 with the window closed: the window opens to say so.
        if (!isVisible())
            present();
        lblFindStatus->setText(NotFound);
        return;
    }
    m_box->setTextCursor(found);
    lblFindStatus->setText(wrapped ? Wrapped : QString());
}

QTextCursor FindWindow::find(QTextDocument *document, const QTextCursor &from, const QString &text,
                             bool matchCase, bool backward, bool *wrapped) {
    *wrapped = false;
    if (text.isEmpty())
        return {};
    // One pass over the document's whole text is about twice as fast as QTextDocument::find,
    // which builds each line's text anew; its positions are the document's own. The raw text
    // keeps what the box shows (toPlainText would turn a no-break space into a plain one); a
    // line break is U+2029 there, which the one-line field cannot hold.
    const QString shown = document->toRawText();
    const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    qsizetype at = -1;
    if (backward) {
        // A match that begins before the selection; from the end when there is none.
        const qsizetype before = from.selectionStart() - 1;
        if (before >= 0)
            at = shown.lastIndexOf(text, before, cs);
        if (at < 0) {
            at = shown.lastIndexOf(text, -1, cs);
            *wrapped = at >= 0;
        }
    } else {
        // A match that begins at or after the selection's end; from the start when none.
        at = shown.indexOf(text, from.selectionEnd(), cs);
        if (at < 0) {
            at = shown.indexOf(text, 0, cs);
            *wrapped = at >= 0;
        }
    }
    if (at < 0)
        return {};
    QTextCursor match(document);
    match.setPosition(int(at));
    match.setPosition(int(at + text.size()), QTextCursor::KeepAnchor);
    return match;
}

void FindWindow::keyPressEvent(QKeyEvent *event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::ShiftModifier) {
        event->accept();
        if (btnPrevious->isEnabled())
            btnPrevious->click();
        return;
    }
    if (key == Qt::Key_F3 && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
        event->accept();
        findAgain(mods == Qt::ShiftModifier);
        return;
    }
    QDialog::keyPressEvent(event);
}

void FindWindow::place() {
    adjustSize();
    QWidget *owner = parentWidget();
    if (!owner)
        return;
    const QRect ownerFrame = owner->frameGeometry();
    QScreen *screen = owner->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    // Not yet shown, the window has no frame of its own: the owner's tells how large it will be.
    const QRect ownerInside = owner->geometry();
    const QSize frame(ownerFrame.width() - ownerInside.width(),
                      ownerFrame.height() - ownerInside.height());
    const QSize size = isVisible() ? frameGeometry().size() : geometry().size() + frame;
    constexpr int Gap = 8;
    auto fits = [&](const QRect &r) { return !area.isValid() || area.contains(r); };
    auto keptOnScreen = [&](QPoint at) {
        if (area.isValid()) {
            at.setX(std::clamp(at.x(), area.left(),
                               std::max(area.left(), area.right() + 1 - size.width())));
            at.setY(std::clamp(at.y(), area.top(),
                               std::max(area.top(), area.bottom() + 1 - size.height())));
        }
        return at;
    };

    // Right of the owner, else left of it.
    QPoint at(ownerFrame.right() + 1 + Gap, ownerFrame.top());
    if (!fits(QRect(at, size)))
        at.setX(ownerFrame.left() - Gap - size.width());
    if (!fits(QRect(at, size))) {
        // Neither side has room (a maximized owner, say): below or above the owner's input
        // fields, at the owner's right edge, wherever it covers none of them.
        QRect fields;
        for (const QWidget *w : std::as_const(m_keepClear))
            fields |= QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
        const int right = ownerFrame.right() + 1 - size.width();
        const QPoint candidates[] = {
            QPoint(right, fields.bottom() + 1 + Gap),
            QPoint(right, fields.top() - Gap - size.height()),
        };
        at = keptOnScreen(candidates[0]);
        for (const QPoint &c : candidates) {
            const QPoint kept = keptOnScreen(c);
            if (!QRect(kept, size).intersects(fields)) {
                at = kept;
                break;
            }
        }
    }
    move(keptOnScreen(at));
}

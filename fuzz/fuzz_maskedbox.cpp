// The timeout field (MaskEdBox) under editing. A shown, active window holds the field and a
// second line edit, so the focus can leave the field and come back. The input is read as a
// sequence of operations (see applyOne): key presses, pastes, input-method commits, SetText,
// focus moves, drops, context-menu commands, mouse clicks and QLineEdit's own slots.
//
// The second line edit stays enabled and shown throughout, so the window always has another
// control to take the focus (as the program's window has).
//
// Input: byte 0 chooses the Validate handler, the starting content and where the focus starts;
// every operation then takes one byte for its kind and a few more for its details.
//
// Checked after every operation:
// - Text() is two characters, each a digit or a blank;
// - the field shows Text() while it has the focus and the display format otherwise
//   (no blanks, no leading zero, empty for no digit);
// - QueryForm::readNumber(Text()) is empty for "  " only, else a whole number 0..99 equal to
//   the one shown in the display format;
// - a change of Text() was announced by Change.
#include "fuzzapp.h"

#include "platform/maskedbox.h"
#include "query/query.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>

namespace {

// Characters texts are made of: digits of several scripts, non-digit numbers, format and
// control characters, a surrogate pair (a digit beyond the BMP) and ordinary letters and signs.
constexpr char16_t Pool[] = {
    u'0',   u'1',   u'2', u'3', u'4', u'5', u'6',  u'7',  u'8',  u'9', u' ',
    u'a',   u'Z',   u'-', u'+', u'.', u',', u'\t', u'\n', u'\r', 0x00, 0x7f,
    0xff10,         // FULLWIDTH DIGIT ZERO
    0xff17,         // FULLWIDTH DIGIT SEVEN
    0x0663,         // ARABIC-INDIC DIGIT THREE
    0x06f9,         // EXTENDED ARABIC-INDIC DIGIT NINE
    0x0967,         // DEVANAGARI DIGIT ONE
    0x0e55,         // THAI DIGIT FIVE
    0x00b2,         // SUPERSCRIPT TWO (a number, not a decimal digit)
    0x00bd,         // VULGAR FRACTION ONE HALF
    0x2163,         // ROMAN NUMERAL FOUR
    0x00a0,         // NO-BREAK SPACE
    0x00ad,         // SOFT HYPHEN (a format character)
    0x200e,         // LEFT-TO-RIGHT MARK
    0xfeff,         // ZERO WIDTH NO-BREAK SPACE
    0x2028,         // LINE SEPARATOR
    0xd835, 0xdfce, // MATHEMATICAL BOLD DIGIT ZERO, as a surrogate pair
    0xe000,         // private use
};

struct KeyDef {
    Qt::Key key;
    char16_t text; // what the key types without modifiers; 0 for none
};

constexpr KeyDef Keys[] = {
    {Qt::Key_0, u'0'},      {Qt::Key_1, u'1'},       {Qt::Key_2, u'2'},
    {Qt::Key_3, u'3'},      {Qt::Key_4, u'4'},       {Qt::Key_5, u'5'},
    {Qt::Key_6, u'6'},      {Qt::Key_7, u'7'},       {Qt::Key_8, u'8'},
    {Qt::Key_9, u'9'},      {Qt::Key_A, u'a'},       {Qt::Key_C, u'c'},
    {Qt::Key_E, u'e'},      {Qt::Key_H, u'h'},       {Qt::Key_K, u'k'},
    {Qt::Key_U, u'u'},      {Qt::Key_V, u'v'},       {Qt::Key_W, u'w'},
    {Qt::Key_X, u'x'},      {Qt::Key_Y, u'y'},       {Qt::Key_Z, u'z'},
    {Qt::Key_Space, u' '},  {Qt::Key_Minus, u'-'},   {Qt::Key_Plus, u'+'},
    {Qt::Key_Period, u'.'}, {Qt::Key_Comma, u','},   {Qt::Key_Backspace, 0x08},
    {Qt::Key_Delete, 0x7f}, {Qt::Key_Left, 0},       {Qt::Key_Right, 0},
    {Qt::Key_Home, 0},      {Qt::Key_End, 0},        {Qt::Key_Up, 0},
    {Qt::Key_Down, 0},      {Qt::Key_Return, u'\r'}, {Qt::Key_Enter, u'\r'},
    {Qt::Key_Tab, u'\t'},   {Qt::Key_Backtab, 0},    {Qt::Key_Escape, 0x1b},
    {Qt::Key_Insert, 0},    {Qt::Key_Undo, 0},       {Qt::Key_Redo, 0},
    {Qt::Key_Cut, 0},       {Qt::Key_Copy, 0},       {Qt::Key_Paste, 0},
    {Qt::Key_Clear, 0},
};

constexpr Qt::FocusReason Reasons[] = {
    Qt::MouseFocusReason,        Qt::TabFocusReason,   Qt::BacktabFocusReason,
    Qt::ActiveWindowFocusReason, Qt::PopupFocusReason, Qt::ShortcutFocusReason,
    Qt::MenuBarFocusReason,      Qt::OtherFocusReason,
};

// Contents the field may start from.
const char *const Starts[] = {"  ", "10", "5 ", " 5", "09", "99", "0 ", "00"};

class Bytes {
public:
    Bytes(const std::uint8_t *data, std::size_t size)
        : m_data(data)
        , m_size(size) {}
    bool atEnd() const { return m_at >= m_size; }
    std::uint8_t next() { return m_at < m_size ? m_data[m_at++] : 0; }
    template <typename T, std::size_t N> const T &pick(const T (&items)[N]) {
        return items[next() % N];
    }
    // 0 to 7 characters of Pool.
    QString text() {
        QString s;
        for (int length = next() % 8; length > 0; --length)
            s += QChar(pick(Pool));
        return s;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

Qt::KeyboardModifiers modifiers(std::uint8_t m) {
    Qt::KeyboardModifiers mods;
    if (m & 0x01)
        mods |= Qt::ShiftModifier;
    if (m & 0x02)
        mods |= Qt::ControlModifier;
    if ((m & 0x0c) == 0x0c)
        mods |= Qt::AltModifier;
    if ((m & 0x30) == 0x30)
        mods |= Qt::MetaModifier;
    if ((m & 0xc0) == 0xc0)
        mods |= Qt::KeypadModifier;
    return mods;
}

// The text a keyboard gives with the key: Ctrl turns a letter into its control character.
QString keyText(const KeyDef &key, Qt::KeyboardModifiers mods) {
    if (key.text == 0)
        return {};
    const QChar c(key.text);
    if (c.isLetter() && (mods & Qt::ControlModifier))
        return QString(QChar(char16_t(key.text & 0x1f)));
    if (c.isLetter() && (mods & Qt::ShiftModifier))
        return QString(c.toUpper());
    return QString(c);
}

// A key press and release, delivered where the keyboard's would go: a popup, else the focus
// widget, else the active window (shortcuts first). Sent to the widget straight away: the
// window-level delivery of QTest would also run the event loop after every key, and with it
// timers and queued window-system events that make a run depend on the clock.
void click(Qt::Key key, const QString &text, Qt::KeyboardModifiers mods) {
    QWidget *target = QApplication::activePopupWidget();
    if (!target)
        target = QApplication::focusWidget();
    if (!target)
        target = QApplication::activeWindow();
    if (target)
        QTest::sendKeyEvent(QTest::Click, target, key, text, mods);
}

// The display format "#0" of two positions.
QString displayFormat(const QString &positions) {
    QString digits = positions;
    digits.remove(QLatin1Char(' '));
    return digits.isEmpty() ? QString() : QString::number(digits.toInt());
}

class Harness {
public:
    explicit Harness(Bytes &in);
    void run();

private:
    void applyOne();
    void keyOp();
    void typeOp();
    void pasteOp();
    void inputMethodOp();
    void focusOp();
    void dropOp();
    void slotOp();
    void contextMenuOp();
    void mouseOp();
    void onValidate();
    void verify(const QString &before, int changesBefore);
    QPoint pointIn(QWidget *widget) {
        return {int(m_in.next() % (widget->width() + 8)) - 4, widget->height() / 2};
    }

    Bytes &m_in;
    QWidget m_window;
    MaskEdBox *m_box;
    QLineEdit *m_other;
    int m_validateMode = 0;
    int m_validates = 0;
    int m_changes = 0;
    // FUZZ_TRACE=1 prints every operation and the field after it (to replay a finding).
    const bool m_trace = qEnvironmentVariableIsSet("FUZZ_TRACE");
};

Harness::Harness(Bytes &in)
    : m_in(in) {
    auto *layout = new QVBoxLayout(&m_window);
    layout->addWidget(m_box = new MaskEdBox(&m_window));
    layout->addWidget(m_other = new QLineEdit(&m_window));
    QObject::connect(m_box, &MaskEdBox::Change, m_box, [this] { ++m_changes; });
    QObject::connect(m_box, &MaskEdBox::Validate, m_box, [this] { onValidate(); });

    const std::uint8_t setup = m_in.next();
    m_validateMode = setup % 4;
    m_box->SetText(QString::fromLatin1(Starts[(setup >> 2) % std::size(Starts)]));
    m_window.show();
    QApplication::setActiveWindow(&m_window);
    // The window system's activation of the new window, handled now rather than mid-sequence.
    QCoreApplication::processEvents();
    if (setup & 0x20)
        m_box->setFocus(Qt::OtherFocusReason);
    else
        m_other->setFocus(Qt::OtherFocusReason);
}

// The window's handlers for leaving the field: none; the program's own (below the minimum
// becomes the minimum); one that blanks the field; one that takes the focus back every other
// time.
void Harness::onValidate() {
    ++m_validates;
    switch (m_validateMode) {
    case 1: {
        const std::optional<double> value = QueryForm::readNumber(m_box->Text());
        if (!value || *value < QueryForm::MinimumTimeOut)
            m_box->SetText(QString::number(QueryForm::MinimumTimeOut));
        break;
    }
    case 2:
        m_box->SetText(QString());
        break;
    case 3:
        if (m_validates % 2 == 1)
            m_box->setFocus(Qt::OtherFocusReason);
        break;
    default:
        break;
    }
}

void Harness::run() {
    verify(m_box->Text(), m_changes);
    for (int ops = 0; !m_in.atEnd() && ops < 200; ++ops) {
        const QString before = m_box->Text();
        const int changesBefore = m_changes;
        applyOne();
        // A closed context menu deletes itself later; do it now so none piles up.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (m_trace)
            std::fprintf(stderr, " Text \"%s\" shown \"%s\" focus %s active %p focus window %p\n",
                         qPrintable(m_box->Text()), qPrintable(m_box->text()),
                         m_box->hasFocus()     ? "box"
                         : m_other->hasFocus() ? "other"
                                               : "none",
                         static_cast<void *>(QApplication::activeWindow()),
                         static_cast<void *>(QGuiApplication::focusWindow()));
        verify(before, changesBefore);
    }
}

void Harness::applyOne() {
    const int kind = m_in.next() % 16;
    if (m_trace)
        std::fprintf(stderr, "op %d:", kind);
    switch (kind) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
        keyOp();
        break;
    case 6:
        typeOp();
        break;
    case 7:
        pasteOp();
        break;
    case 8:
        QGuiApplication::clipboard()->setText(m_in.text());
        break;
    case 9:
        inputMethodOp();
        break;
    case 10:
        m_box->SetText(m_in.text());
        break;
    case 11:
        focusOp();
        break;
    case 12:
        dropOp();
        break;
    case 13:
        slotOp();
        break;
    case 14:
        contextMenuOp();
        break;
    default:
        mouseOp();
        break;
    }
}

void Harness::keyOp() {
    const KeyDef &key = m_in.pick(Keys);
    const Qt::KeyboardModifiers mods = modifiers(m_in.next());
    if (m_trace)
        std::fprintf(stderr, " key %x mods %x", unsigned(key.key), unsigned(mods));
    click(key.key, keyText(key, mods), mods);
}

// A key typing any character (a keyboard layout or compose sequence can give most).
void Harness::typeOp() {
    const QString text = QString(QChar(m_in.pick(Pool)));
    const QChar c = text.at(0);
    const auto key = c.isDigit() && c.unicode() < 0x80 ? Qt::Key(c.unicode()) : Qt::Key_unknown;
    click(key, text, modifiers(m_in.next()));
}

void Harness::pasteOp() {
    QGuiApplication::clipboard()->setText(m_in.text());
    if (m_in.next() % 2)
        click(Qt::Key_V, QString(QChar(char16_t(0x16))), Qt::ControlModifier);
    else
        click(Qt::Key_Insert, {}, Qt::ShiftModifier);
}

void Harness::inputMethodOp() {
    QWidget *target = QApplication::focusWidget();
    const QString preedit = m_in.text();
    const QString commit = m_in.text();
    const int from = int(m_in.next() % 7) - 3;
    const int length = m_in.next() % 4;
    if (!target)
        return;
    QInputMethodEvent event(preedit, {});
    event.setCommitString(commit, from, length);
    QApplication::sendEvent(target, &event);
}

void Harness::focusOp() {
    const std::uint8_t what = m_in.next();
    const Qt::FocusReason reason = m_in.pick(Reasons);
    switch (what % 8) {
    case 0:
        m_other->setFocus(reason);
        break;
    case 1:
        m_box->setFocus(reason);
        break;
    case 2:
        if (QWidget *focus = QApplication::focusWidget())
            focus->clearFocus();
        break;
    case 3: {
        // The window loses activation, the field or its focus may change meanwhile, and the
        // window comes back.
        QApplication::setActiveWindow(nullptr);
        switch (m_in.next() % 6) {
        case 1:
            m_other->setFocus(reason);
            break;
        case 2:
            m_box->setFocus(reason);
            break;
        case 3:
            if (QWidget *focus = m_window.focusWidget())
                focus->clearFocus();
            break;
        case 4:
            m_box->setEnabled(!m_box->isEnabled());
            break;
        case 5:
            m_box->setVisible(!m_box->isVisible());
            break;
        default:
            break;
        }
        QApplication::setActiveWindow(&m_window);
        break;
    }
    case 4:
        m_box->setEnabled(!m_box->isEnabled());
        break;
    case 5:
        m_box->setVisible(!m_box->isVisible());
        break;
    case 6:
        click(Qt::Key_Backtab, {}, Qt::ShiftModifier);
        break;
    default:
        m_window.setFocus(reason);
        break;
    }
}

// A drag entering the field, moving over it and, when the field takes it, dropped.
void Harness::dropOp() {
    QMimeData mime;
    switch (m_in.next() % 4) {
    case 0:
        mime.setHtml(m_in.text());
        break;
    case 1:
        mime.setUrls({QUrl(QStringLiteral("file:///tmp/42"))});
        break;
    default:
        mime.setText(m_in.text());
        break;
    }
    const Qt::DropActions actions = m_in.next() % 2 ? Qt::CopyAction : Qt::MoveAction;
    QDragEnterEvent enter(pointIn(m_box), actions, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(m_box, &enter);
    if (!enter.isAccepted())
        return;
    QDragMoveEvent move(pointIn(m_box), actions, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(m_box, &move);
    if (!move.isAccepted() || m_in.next() % 4 == 0) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(m_box, &leave);
        return;
    }
    QDropEvent drop(pointIn(m_box), actions, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(m_box, &drop);
}

// QLineEdit's own public slots and setters, which change the field behind MaskEdBox's back.
void Harness::slotOp() {
    const std::uint8_t what = m_in.next();
    const std::uint8_t a = m_in.next();
    const std::uint8_t b = m_in.next();
    switch (what % 14) {
    case 0:
        m_box->setText(m_in.text());
        break;
    case 1:
        m_box->insert(m_in.text());
        break;
    case 2:
        m_box->clear();
        break;
    case 3:
        m_box->undo();
        break;
    case 4:
        m_box->redo();
        break;
    case 5:
        m_box->selectAll();
        break;
    case 6:
        m_box->setSelection(a % 4, int(b % 7) - 3);
        break;
    case 7:
        m_box->setCursorPosition(a % 4);
        break;
    case 8:
        m_box->del();
        break;
    case 9:
        m_box->backspace();
        break;
    case 10:
        if (a % 2)
            m_box->cursorForward(b % 2, int(b % 5) - 2);
        else
            m_box->cursorBackward(b % 2, int(b % 5) - 2);
        break;
    case 11:
        m_box->paste();
        break;
    case 12:
        if (a % 2)
            m_box->cut();
        else
            m_box->copy();
        break;
    default:
        if (a % 2)
            m_box->home(b % 2);
        else
            m_box->end(b % 2);
        break;
    }
}

// The field's context menu, opened from the keyboard; one of its entries is chosen (the menu
// closes first, as a click on an entry does) or none.
void Harness::contextMenuOp() {
    const QPoint at = pointIn(m_box);
    QContextMenuEvent event(QContextMenuEvent::Keyboard, at, m_box->mapToGlobal(at));
    QApplication::sendEvent(m_box, &event);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (!menu)
        return;
    QList<QPointer<QAction>> entries;
    for (QAction *action : menu->actions())
        if (!action->isSeparator())
            entries.append(action);
    const std::uint8_t choice = m_in.next();
    menu->close();
    if (choice < entries.size() * 32) {
        QAction *action = entries.at(choice % entries.size());
        if (action && action->isEnabled())
            action->trigger();
    }
}

void Harness::mouseOp() {
    const std::uint8_t what = m_in.next();
    const Qt::KeyboardModifiers mods = (what & 0x80) ? Qt::ShiftModifier : Qt::NoModifier;
    switch (what % 6) {
    case 0:
        QTest::mouseClick(m_box, Qt::LeftButton, mods, pointIn(m_box));
        break;
    case 1:
        QTest::mouseDClick(m_box, Qt::LeftButton, mods, pointIn(m_box));
        QTest::mouseRelease(m_box, Qt::LeftButton, mods, pointIn(m_box));
        break;
    case 2: {
        // A selection drawn with the mouse.
        QTest::mousePress(m_box, Qt::LeftButton, mods, pointIn(m_box));
        QTest::mouseMove(m_box, pointIn(m_box));
        QTest::mouseRelease(m_box, Qt::LeftButton, mods, pointIn(m_box));
        break;
    }
    case 3:
        QTest::mouseClick(m_box, Qt::MiddleButton, mods, pointIn(m_box));
        break;
    case 4:
        QTest::mouseClick(m_box, Qt::RightButton, mods, pointIn(m_box));
        break;
    default:
        QTest::mouseClick(m_other, Qt::LeftButton, mods, pointIn(m_other));
        break;
    }
}

void Harness::verify(const QString &before, int changesBefore) {
    using fuzzapp::check;
    const QString text = m_box->Text();
    check(text.size() == 2, "Text() has two characters");
    for (const QChar c : text)
        check(c == QLatin1Char(' ') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')),
              "Text() holds digits and blanks only");

    check(QApplication::activePopupWidget() == nullptr, "no popup left open");
    if (m_box->hasFocus())
        check(m_box->text() == text, "the focused field shows its positions");
    else
        check(m_box->text() == displayFormat(text), "the field without focus shows \"#0\"");

    const std::optional<double> value = QueryForm::readNumber(text);
    if (text == QLatin1String("  ")) {
        check(!value.has_value(), "readNumber(\"  \") is empty");
    } else {
        check(value.has_value(), "readNumber gives a number for a field with a digit");
        check(*value >= 0 && *value <= 99 && *value == std::floor(*value),
              "readNumber gives a whole number 0..99");
        check(QString::number(int(*value)) == displayFormat(text),
              "readNumber agrees with the display format");
    }
    if (text != before)
        check(m_changes > changesBefore, "a change of Text() emits Change");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv) {
    fuzzapp::startApplication((*argv)[0]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // Each input starts from a new window and an empty clipboard, so nothing of the one before
    // (undo history, timers, focus) carries over.
    QGuiApplication::clipboard()->clear();
    Bytes in(data, size);
    {
        Harness harness(in);
        harness.run();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

#include "platform/maskedbox.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

class tst_MaskEdBox : public QObject {
    Q_OBJECT
    QWidget m_window;
    MaskEdBox *m_box = nullptr;
    QLineEdit *m_other = nullptr;

    static void row(const char *name, std::initializer_list<const char *> values) {
        QTestData &data = QTest::newRow(name);
        for (const char *value : values)
            data << QString::fromUtf8(value);
    }
    // The field focused, caret on its first position, holding content.
    void focusBox(const QString &content) {
        m_box->SetText(content);
        m_box->setFocus();
        QTRY_VERIFY(m_box->hasFocus());
    }
    // Plain characters are typed; "{name}" presses a named key.
    void play(const QString &script) {
        const auto bound = [](QKeySequence::StandardKey key) {
            return QKeySequence::keyBindings(key).constFirst()[0];
        };
        static const QHash<QString, QKeyCombination> named = {
            {QStringLiteral("all"), bound(QKeySequence::SelectAll)},
            {QStringLiteral("cut"), bound(QKeySequence::Cut)},
            {QStringLiteral("paste"), bound(QKeySequence::Paste)},
            {QStringLiteral("undo"), bound(QKeySequence::Undo)},
            {QStringLiteral("redo"), bound(QKeySequence::Redo)},
            {QStringLiteral("bs"), Qt::Key_Backspace},
            {QStringLiteral("del"), Qt::Key_Delete},
            {QStringLiteral("end"), Qt::Key_End},
            {QStringLiteral("right"), Qt::Key_Right},
            {QStringLiteral("sright"), Qt::SHIFT | Qt::Key_Right},
            {QStringLiteral("cbs"), Qt::CTRL | Qt::Key_Backspace}};
        for (qsizetype i = 0; i < script.size(); ++i) {
            if (script.at(i) != QLatin1Char('{')) {
                QTest::keyClick(m_box, script.at(i).toLatin1());
                continue;
            }
            const qsizetype end = script.indexOf(QLatin1Char('}'), i);
            const QKeyCombination key = named.value(script.mid(i + 1, end - i - 1));
            QTest::keyClick(m_box, key.key(), key.keyboardModifiers());
            i = end;
        }
    }

private Q_SLOTS:
    void initTestCase() {
        auto *layout = new QVBoxLayout(&m_window);
        layout->addWidget(m_box = new MaskEdBox(&m_window));
        layout->addWidget(m_other = new QLineEdit(&m_window));
        m_window.show();
    }
    void init() {
        m_window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m_window));
        m_other->setFocus();
        QTRY_VERIFY(m_other->hasFocus());
    }

    void keys_data() {
        for (const char *column : {"content", "script", "clipboard", "expected"})
            QTest::addColumn<QString>(column);
        row("letter refused", {"10", "a", "", "10"});
        row("space refused", {"10", " ", "", "10"});
        row("overwrites", {"10", "2", "", "20"});
        row("fills both", {"  ", "42", "", "42"});
        row("third digit refused", {"12", "{end}3", "", "12"});
        row("end appends", {"5 ", "{end}0", "", "50"});
        row("end appends past blank", {" 5", "{end}0", "", "50"});
        row("end of empty", {"  ", "{end}7", "", "7 "});
        row("backspace once", {"12", "{end}{bs}", "", "1 "});
        row("backspace twice", {"12", "{end}{bs}{bs}", "", "  "});
        row("backspace at start", {"12", "{bs}", "", "12"});
        row("delete leaves blank", {"12", "{del}", "", " 2"});
        row("delete at end", {"12", "{end}{del}", "", "12"});
        row("digit over selection", {"12", "{all}7", "", "7 "});
        row("delete selection", {"12", "{sright}{del}", "", " 2"});
        row("ctrl backspace", {"12", "{end}{cbs}", "", "  "});
        row("cut then paste", {"12", "{all}{cut}{paste}", "", "12"});
        row("paste digits only", {"  ", "{paste}", "a7b8c9", "78"});
        row("paste no digit", {"12", "{all}{paste}", "abc", "12"});
        row("paste overflow", {"12", "{right}{paste}", "345", "13"});
        row("paste over selection", {"12", "{all}{paste}", "9", "9 "});
        row("undo", {"12", "{end}{bs}{undo}", "", "12"});
        row("redo", {"12", "{end}{bs}{undo}{redo}", "", "1 "});
        row("no undo past program write", {"12", "{undo}", "", "12"});
    }
    void keys() {
        QFETCH(QString, content);
        QFETCH(QString, script);
        QFETCH(QString, clipboard);
        QFETCH(QString, expected);
        QGuiApplication::clipboard()->setText(clipboard);
        focusBox(content);
        play(script);
        QCOMPARE(m_box->Text(), expected);
        QCOMPARE(m_box->displayText(), expected);
    }

    void setText_data() {
        for (const char *column : {"text", "expected", "unfocused"})
            QTest::addColumn<QString>(column);
        row("two digits", {"10", "10", "10"});
        row("one digit", {"5", "5 ", "5"});
        row("empty", {"", "  ", ""});
        row("letters", {"abc", "  ", ""});
        row("too long", {"123", "12", "12"});
        row("zero", {"0", "0 ", "0"});
        row("leading zero", {"09", "09", "9"});
        row("blank first", {"a5", " 5", "5"});
        row("fullwidth digits", {"\uff11\uff12", "12", "12"});
    }
    void setText() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(QString, unfocused);
        m_box->SetText(QStringLiteral("  "));
        QSignalSpy validate(m_box, &MaskEdBox::Validate);
        QSignalSpy change(m_box, &MaskEdBox::Change);
        m_box->SetText(text);
        QCOMPARE(m_box->Text(), expected);
        QCOMPARE(m_box->displayText(), unfocused);
        QCOMPARE(change.count(), expected == QStringLiteral("  ") ? 0 : 1);
        QCOMPARE(validate.count(), 0);
        m_box->setFocus();
        QTRY_COMPARE(m_box->displayText(), expected);
    }

    void focusLeaves_data() {
        for (const char *column : {"how", "content", "validations", "shown"})
            QTest::addColumn<QString>(column);
        row("tab", {"tab", "5 ", "1", "5"});
        row("tab from empty", {"tab", "  ", "1", ""});
        row("window deactivated", {"window", "5 ", "0", "5 "});
        row("focus moved while inactive", {"window, focus moved", "5 ", "1", "5"});
        row("popup", {"popup", "5 ", "0", "5 "});
    }
    void focusLeaves() {
        QFETCH(QString, how);
        QFETCH(QString, content);
        QFETCH(QString, validations);
        QFETCH(QString, shown);
        focusBox(content);
        QSignalSpy validate(m_box, &MaskEdBox::Validate);
        QWidget otherWindow;
        QMenu popup(m_box);
        if (how == QStringLiteral("tab")) {
            QTest::keyClick(m_box, Qt::Key_Tab);
            QTRY_VERIFY(m_other->hasFocus());
        } else if (how.startsWith(QStringLiteral("window"))) {
            otherWindow.show();
            otherWindow.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&otherWindow));
            if (how.endsWith(QStringLiteral("moved"))) { // no focus-out reaches the field then
                m_other->setFocus();
                m_window.activateWindow();
                QTRY_VERIFY(m_other->hasFocus());
            }
        } else {
            popup.addAction(QStringLiteral("item"));
            popup.popup(m_box->mapToGlobal(QPoint(0, 0)));
            QTRY_VERIFY(QApplication::activePopupWidget() == &popup);
        }
        QCOMPARE(validate.count(), validations.toInt());
        QCOMPARE(m_box->displayText(), shown);
    }

    void validateHandlerWins() {
        focusBox(QStringLiteral("5 "));
        QString shownDuring;
        connect(m_box, &MaskEdBox::Validate, this, [&] {
            shownDuring = m_box->displayText();
            m_box->SetText(QStringLiteral("10"));
        });
        QTest::keyClick(m_box, Qt::Key_Tab);
        disconnect(m_box, &MaskEdBox::Validate, this, nullptr);
        QCOMPARE(shownDuring, QStringLiteral("5 "));
        QCOMPARE(m_box->displayText(), QStringLiteral("10"));
    }

    void enterReachesDefaultButton_data() {
        QTest::addColumn<QString>("content");
        QTest::addColumn<Qt::Key>("key");
        QTest::newRow("incomplete, return") << QStringLiteral("5 ") << Qt::Key_Return;
        QTest::newRow("empty, enter") << QStringLiteral("  ") << Qt::Key_Enter;
    }
    void enterReachesDefaultButton() {
        QFETCH(QString, content);
        QFETCH(Qt::Key, key);
        QDialog dialog;
        auto *box = new MaskEdBox(&dialog);
        auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
        ok->move(0, 40);
        ok->setDefault(true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        box->SetText(content);
        QSignalSpy clicked(ok, &QPushButton::clicked);
        QTest::keyClick(box, key);
        QCOMPARE(clicked.count(), 1);
    }

    // Edits that bypass the keyboard: input method, drag and drop, context menu, QLineEdit's slots.
    void otherInputs_data() {
        for (const char *column : {"how", "payload", "expected"})
            QTest::addColumn<QString>(column);
        row("input method digit", {"ime", "7", "72"});
        row("input method letters", {"ime", "ab", "12"});
        row("drop", {"drop", "a7b8c9", "78"});
        row("drop while unfocused", {"drop unfocused", "7", "12"});
        row("menu paste", {"edit-paste", "a7b8c9", "78"});
        row("menu delete", {"edit-delete", "", "  "});
        row("QLineEdit::clear", {"clear", "", "  "});
    }
    void otherInputs() {
        QFETCH(QString, how);
        QFETCH(QString, payload);
        QFETCH(QString, expected);
        focusBox(QStringLiteral("12"));
        if (how == QStringLiteral("ime")) {
            QInputMethodEvent event;
            event.setCommitString(payload);
            QApplication::sendEvent(m_box, &event);
        } else if (how.startsWith(QStringLiteral("drop"))) {
            if (how.endsWith(QStringLiteral("unfocused"))) {
                m_other->setFocus();
                QTRY_VERIFY(m_other->hasFocus());
            }
            QMimeData data;
            data.setText(payload);
            const QPoint at(m_box->contentsRect().left() + 2, m_box->height() / 2);
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(m_box, &enter); // a drop goes only where the enter was taken
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(m_box, &drop);
        } else if (how.startsWith(QStringLiteral("edit-"))) {
            QGuiApplication::clipboard()->setText(payload);
            m_box->selectAll();
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(1, 1),
                                    m_box->mapToGlobal(QPoint(1, 1)));
            QApplication::sendEvent(m_box, &event);
            auto *menu = m_box->findChild<QMenu *>();
            QVERIFY(menu);
            menu->findChild<QAction *>(how)->trigger();
            menu->close();
            QTRY_VERIFY(!m_box->findChild<QMenu *>()); // deleted on close
        } else {
            m_box->clear(); // QLineEdit's own slot
        }
        QCOMPARE(m_box->Text(), expected);
    }

    // Random keys, pastes, cuts, undos and focus changes never leave anything but two positions.
    void randomEditsKeepTwoPositions() {
        QRandomGenerator random(20240611);
        const char *clips[] = {"7", "a1b2c3", "x", " 4", ""};
        const char *keys[] = {"0",     "9",       "a",       " ",        "{bs}",
                              "{del}", "{end}",   "{right}", "{sright}", "{all}",
                              "{cut}", "{paste}", "{undo}",  "{redo}",   "{cbs}"};
        const QRegularExpression twoPositions(QStringLiteral("^[0-9 ]{2}$"));
        focusBox(QStringLiteral("  "));
        for (int step = 0; step < 3000; ++step) {
            const int pick = int(random.bounded(20));
            const QString clip = QString::fromLatin1(clips[random.bounded(5)]);
            if (pick < 15) {
                play(QString::fromLatin1(keys[pick]));
            } else if (pick < 17) {
                QGuiApplication::clipboard()->setText(clip);
            } else if (pick == 17) {
                m_box->setCursorPosition(int(random.bounded(3)));
            } else if (pick == 18) {
                QTest::keyClick(m_box, Qt::Key_Tab);
                m_box->setFocus();
            } else {
                QInputMethodEvent event;
                event.setCommitString(clip);
                QApplication::sendEvent(m_box, &event);
            }
            QVERIFY2(twoPositions.match(m_box->Text()).hasMatch(), qPrintable(m_box->Text()));
            QCOMPARE(m_box->displayText(), m_box->Text());
        }
    }
};

QTEST_MAIN(tst_MaskEdBox)
#include "tst_maskedbox.moc"

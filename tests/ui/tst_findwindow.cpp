#include "fakewhois.h"
#include "ui/findwindow.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

namespace {
// "beta" four times, in two cases, the last far below the first screen; a no-break space.
QString result() {
    QString text = QStringLiteral("no\u00A0break\r\nalpha beta\r\nBETA gamma\r\n");
    for (int i = 0; i < 300; ++i)
        text += QStringLiteral("filler line\r\n");
    return text + QStringLiteral("beta Beta end\r\n");
}

// Where the n-th match of what (any case) begins in what the box shows.
int nth(const QString &shown, const QString &what, int n) {
    qsizetype at = -1;
    for (int i = 0; i <= n; ++i)
        at = shown.indexOf(what, at + 1, Qt::CaseInsensitive);
    return int(at);
}

// The window holding result() with Find open; a Search asks server, which answers answer.
void openFind(Window &win, FakeWhois &server, const char *answer) {
    QVERIFY(server.listen());
    server.answerAndClose(answer);
    QVERIFY(QTest::qWaitForWindowActive(&win.w));
    win.pointAt(server);
    win.get<TextBox>("txtSearchResult")->SetText(result());
    QTest::keyClick(&win.w, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(win.w.findChild<FindWindow *>() && win.w.findChild<FindWindow *>()->isVisible());
}

struct Find {
    Window &win;
    FindWindow &w = *win.w.findChild<FindWindow *>();
    QLineEdit *field = win.w.findChild<QLineEdit *>(QStringLiteral("txtFind"));
    QCheckBox *matchCase = win.w.findChild<QCheckBox *>(QStringLiteral("chkMatchCase"));
    QLabel *status = win.w.findChild<QLabel *>(QStringLiteral("lblFindStatus"));
};
} // namespace

class tst_FindWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // One find from a selection (-1: the cursor at the top), by each of the ways to ask for
    // it. With a new Search in between, the box holds a fresh answer.
    void find_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("to"); // the match selected after; -2: the selection unchanged
        QTest::addColumn<QString>("status");
        QTest::newRow("next from the top, Enter") << "beta" << false << -1 << "enter" << 0 << "";
        QTest::newRow("next, Next button") << "beta" << false << 0 << "next" << 1 << "";
        QTest::newRow("next far below, F3 in the main window")
            << "beta" << false << 1 << "f3" << 2 << "";
        QTest::newRow("next wraps at the end") << "beta" << false << 3 << "next" << 0 << "Wrapped";
        QTest::newRow("previous, Shift+Enter") << "beta" << false << 2 << "shift+enter" << 1 << "";
        QTest::newRow("previous wraps at the top, Shift+F3 in the main window")
            << "beta" << false << 0 << "shift+f3" << 3 << "Wrapped";
        QTest::newRow("previous, Shift+F3 in the Find window")
            << "beta" << false << 3 << "find shift+f3" << 2 << "";
        QTest::newRow("previous from the top, Previous button")
            << "beta" << false << -1 << "previous" << 3 << "Wrapped";
        QTest::newRow("the only match, selected: found again")
            << "gamma" << false << 0 << "next" << 0 << "Wrapped";
        QTest::newRow("match case skips BETA") << "beta" << true << 0 << "next" << 2 << "";
        QTest::newRow("match case, previous skips BETA")
            << "beta" << true << 2 << "previous" << 0 << "";
        QTest::newRow("match case, none") << "bETA" << true << 1 << "next" << -2 << "Not found";
        QTest::newRow("not found") << "zeta" << false << 1 << "f3" << -2 << "Not found";
        // F3 with Find closed opens it only to say "Not found".
        QTest::newRow("not found, Find closed")
            << "zeta" << false << 1 << "closed f3" << -2 << "Not found";
        QTest::newRow("wraps, Find closed")
            << "beta" << false << 3 << "closed f3" << 0 << "Wrapped";
        QTest::newRow("no-break space") << "o\u00A0b" << false << -1 << "next" << 0 << "";
        QTest::newRow("plain space for a no-break one")
            << "o b" << false << -1 << "next" << -2 << "Not found";
        // The caret stays at the top of the emptied box while the answer arrives.
        QTest::newRow("new Search in between") << "beta" << false << 2 << "search" << 0 << "";
    }
    void find() {
        QFETCH(QString, text);
        QFETCH(bool, matchCase);
        QFETCH(int, from);
        QFETCH(QString, how);
        QFETCH(int, to);
        QFETCH(QString, status);
        const QString shownText = result().remove(QLatin1Char('\r'));
        FakeWhois server;
        Window win;
        openFind(win, server, "new answer: beta\n");
        if (QTest::currentTestFailed())
            return;
        auto *box = win.get<TextBox>("txtSearchResult");
        Find find{win};
        find.field->setText(text);
        find.matchCase->setChecked(matchCase);
        find.w.findChild<QPushButton *>(QStringLiteral("btnNext"))->click(); // the last text
        find.status->setText(QStringLiteral("stale"));

        QTextCursor start(box->document());
        if (from >= 0) {
            start.setPosition(nth(shownText, text, from));
            start.setPosition(start.position() + int(text.size()), QTextCursor::KeepAnchor);
        }
        box->setTextCursor(start);
        box->verticalScrollBar()->setValue(0);
        if (how == QLatin1String("search")) {
            win.search(QStringLiteral("q"));
            QTRY_VERIFY(!win.running());
        }

        if (how == QLatin1String("enter") || how == QLatin1String("shift+enter"))
            QTest::keyClick(find.field, Qt::Key_Return,
                            how == QLatin1String("enter") ? Qt::NoModifier : Qt::ShiftModifier);
        else if (how.endsWith(QLatin1String("f3")) && !how.startsWith(QLatin1String("find"))) {
            if (how == QLatin1String("closed f3"))
                find.w.reject();
            QApplication::setActiveWindow(&win.w);
            QTest::keyClick(win.get<QLineEdit>("txtSearchText"), Qt::Key_F3,
                            how == QLatin1String("shift+f3") ? Qt::ShiftModifier : Qt::NoModifier);
        } else if (how == QLatin1String("find shift+f3")) {
            QApplication::setActiveWindow(&find.w);
            QTest::keyClick(find.field, Qt::Key_F3, Qt::ShiftModifier);
        } else if (how == QLatin1String("previous"))
            find.w.findChild<QPushButton *>(QStringLiteral("btnPrevious"))->click();
        else
            find.w.findChild<QPushButton *>(QStringLiteral("btnNext"))->click();

        const QTextCursor now = box->textCursor();
        if (to == -2) {
            QCOMPARE(now.anchor(), start.anchor());
            QCOMPARE(now.position(), start.position());
        } else {
            QCOMPARE(
                now.selectionStart(),
                nth(how == QLatin1String("search") ? box->toPlainText() : shownText, text, to));
            QCOMPARE(now.selectedText().size(), text.size());
            QVERIFY(box->viewport()->rect().contains(box->cursorRect().center()));
        }
        QCOMPARE(find.status->text(), status);
        QCOMPARE(find.status->textFormat(), Qt::PlainText);
        if (how == QLatin1String("closed f3"))
            QCOMPARE(find.w.isVisible(), status == QLatin1String("Not found"));
    }

    // "Not found" belongs to one text and one answer: it goes when either changes, and when
    // Find is opened again.
    void statusCleared_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("text to find changed") << "edit";
        QTest::newRow("Find opened again") << "reopen";
        QTest::newRow("new Search") << "search";
    }
    void statusCleared() {
        QFETCH(QString, how);
        FakeWhois server;
        Window win;
        openFind(win, server, "zeta\n");
        if (QTest::currentTestFailed())
            return;
        Find find{win};
        find.field->setText(QStringLiteral("zeta"));
        QTest::keyClick(find.field, Qt::Key_Return);
        QCOMPARE(find.status->text(), QStringLiteral("Not found"));
        if (how == QLatin1String("edit")) {
            QTest::keyClick(find.field, Qt::Key_Backspace);
        } else if (how == QLatin1String("reopen")) {
            find.w.reject();
            QApplication::setActiveWindow(&win.w);
            QTest::keyClick(&win.w, Qt::Key_F, Qt::ControlModifier);
            QTRY_VERIFY(find.w.isVisible());
        } else {
            win.search(QStringLiteral("q"));
            QTRY_VERIFY(!win.running());
        }
        QCOMPARE(find.status->text(), QString());
    }

    // Find opens beside the main window where there is room, else where it covers none of the
    // query fields, and always on the screen.
    void placement_data() {
        QTest::addColumn<bool>("maximized");
        QTest::newRow("as the window opens") << false;
        QTest::newRow("maximized") << true;
    }
    void placement() {
        QFETCH(bool, maximized);
        Window win;
        if (maximized)
            win.w.setGeometry(win.w.screen()->availableGeometry());
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        QTest::keyClick(&win.w, Qt::Key_F, Qt::ControlModifier);
        Find find{win};
        QTRY_VERIFY(find.w.isVisible());
        const QRect at = find.w.frameGeometry();
        QVERIFY(win.w.screen()->availableGeometry().contains(at));
        const bool beside =
            at.left() > win.w.frameGeometry().right() || at.right() < win.w.frameGeometry().left();
        if (beside)
            return;
        for (const char *field :
             {"txtSearchText", "cmbWhoisServer", "mtxtTimeOut", "UpDown1", "chkAll"}) {
            const QWidget *w = win.get<QWidget>(field);
            QVERIFY2(!at.intersects(QRect(w->mapToGlobal(QPoint(0, 0)), w->size())), field);
        }
    }

    // With nothing searched for yet, F3 and Shift+F3 open Find as Ctrl+F does, changing
    // nothing in the box; Esc closes Find alone; it opens again with the last text selected.
    void openAndClose_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("F3") << int(Qt::Key_F3) << int(Qt::NoModifier);
        QTest::newRow("Shift+F3") << int(Qt::Key_F3) << int(Qt::ShiftModifier);
        QTest::newRow("Ctrl+F") << int(Qt::Key_F) << int(Qt::ControlModifier);
    }
    void openAndClose() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        auto *box = win.get<TextBox>("txtSearchResult");
        box->SetText(result());
        QVERIFY(!win.w.findChild<FindWindow *>()); // made on first use
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                        Qt::KeyboardModifiers(modifiers));
        auto *find = win.w.findChild<FindWindow *>();
        QVERIFY(find);
        QTRY_VERIFY(find->isVisible());
        QVERIFY(find->isWindow());
        QCOMPARE(find->windowTitle(), QStringLiteral("Find"));
        QVERIFY(!find->isModal());
        QVERIFY(!box->textCursor().hasSelection());
        auto *field = find->findChild<QLineEdit *>(QStringLiteral("txtFind"));
        QTRY_COMPARE(QApplication::focusWidget(), field);

        QTest::keyClicks(field, QStringLiteral("gamma"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(box->textCursor().selectedText(), QStringLiteral("gamma"));
        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(!find->isVisible());
        QVERIFY(win.w.isVisible());
        QCOMPARE(win.ended, 0);

        field->setText(QStringLiteral("typed, not searched"));
        QApplication::setActiveWindow(&win.w);
        QTest::keyClick(&win.w, Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(find->isVisible());
        QCOMPARE(field->text(), QStringLiteral("gamma"));
        QCOMPARE(field->selectedText(), QStringLiteral("gamma"));
    }

    // Every control of the Find window can be told apart by a screen reader and named in a
    // tooltip; Next is the default button.
    void controls_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        const char *table[][2] = {
            {"txtFind", "Find what"},    {"chkMatchCase", "Match case"}, {"btnNext", "Next"},
            {"btnPrevious", "Previous"}, {"btnClose", "Close"},
        };
        for (const auto &row : table)
            QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1]);
    }
    void controls() {
        QFETCH(QString, control);
        QFETCH(QString, name);
        Window win;
        FindWindow &find = win.w.findWindow();
        QWidget *w = find.findChild<QWidget *>(control);
        QVERIFY(w);
        QCOMPARE(w->accessibleName(), name);
        QVERIFY(!w->toolTip().isEmpty());
        QVERIFY(find.findChild<QPushButton *>(QStringLiteral("btnNext"))->isDefault());
    }
};

QTEST_MAIN(tst_FindWindow)
#include "tst_findwindow.moc"

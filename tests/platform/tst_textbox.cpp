#include "platform/textbox.h"

#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

class tst_TextBox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void shown_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("CR LF") << "a\r\nb"
                               << "a\nb";
        QTest::newRow("CR CR LF") << "a\r\r\nb"
                                  << "a\nb";
        QTest::newRow("lone CR") << "a\rb"
                                 << "ab";
        QTest::newRow("tab kept") << "a\tb"
                                  << "a\tb";
        QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) << QStringLiteral("a\u2400");
        QTest::newRow("ESC") << "\x1b[1m" << QStringLiteral("\u241B[1m");
        QTest::newRow("DEL") << "\x7f" << QStringLiteral("\u2421");
        QTest::newRow("latin1") << QStringLiteral("\u00E9") << QStringLiteral("\u00E9");
    }
    void shown() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        TextBox box;
        box.SetText(text);
        QCOMPARE(box.Text(), text);
        QCOMPARE(box.toPlainText(), shown);
    }

    // However the text is cut into pieces, the box keeps it exactly and shows the same.
    void piecesEqualWhole_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 30; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void piecesEqualWhole() {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        const char16_t alphabet[] = {u'a', u'b', u'\r', u'\n', u'\t', 0, 0x1b, 0xe9, 0x7f, u' '};
        QString text;
        const int length = int(rng.bounded(20000u));
        for (int i = 0; i < length; ++i)
            text += QChar(alphabet[rng.bounded(quint32(std::size(alphabet)))]);
        if (seed % 3 == 0)
            text += QString(int(rng.bounded(3u * TextBox::MaxShownLine)), QLatin1Char('x'));

        TextBox whole;
        whole.SetText(text);
        TextBox pieces;
        pieces.SetText(QStringLiteral("start\r\n"));
        pieces.SetText(QString());
        for (qsizetype at = 0; at < text.size();) {
            const qsizetype n = 1 + rng.bounded(quint32(5000));
            pieces.AppendText(text.mid(at, n));
            at += n;
        }
        QCOMPARE(pieces.Text(), text);
        QCOMPARE(pieces.toPlainText(), whole.toPlainText());

        // A range replaced, first one of whole lines (shown anew alone; on even seeds up to the
        // end), then any: the same as a box given the new text whole, also once a long line is
        // appended after it.
        const QString with = QStringLiteral("new\r\n\x1b") + QString(seed * 300, u'r');
        const QString tail(TextBox::MaxShownLine - 7, u't');
        for (const bool lines : {true, false}) {
            qsizetype from = rng.bounded(quint32(text.size() + 1));
            qsizetype to = from + rng.bounded(quint32(text.size() - from + 1));
            if (lines) {
                from = std::max<qsizetype>(0, text.lastIndexOf(QLatin1Char('\n'), from) + 1);
                to = seed % 2 == 0 ? -1 : text.indexOf(QLatin1Char('\n'), to);
                to = to < 0 ? text.size() : to;
            }
            text.replace(from, to - from, with);
            pieces.ReplaceText(from, to - from, with);
            whole.SetText(text);
            QCOMPARE(pieces.Text(), text);
            QCOMPARE(pieces.toPlainText(), whole.toPlainText());
            text += tail;
            pieces.AppendText(tail);
            whole.AppendText(tail);
            QCOMPARE(pieces.toPlainText(), whole.toPlainText());
        }
    }

    // Text arriving at the end moves neither a reader who scrolled nor a selection, and is only
    // inserted: what the box already shows is left in place.
    void appendLeavesViewAlone_data() {
        QTest::addColumn<int>("firstShown");
        QTest::addColumn<int>("selectedBlock");
        QTest::newRow("scrolled up to read") << 40 << -1;
        QTest::newRow("text selected at the top") << 0 << 3;
        QTest::newRow("text selected, scrolled") << 25 << 30;
        // -2: selected backwards from the very end, the anchor at the end.
        QTest::newRow("selected backwards from the end") << 40 << -2;
    }
    void appendLeavesViewAlone() {
        QFETCH(int, firstShown);
        QFETCH(int, selectedBlock);
        TextBox box;
        box.resize(300, 200);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.AppendText(QString(300, QLatin1Char('w')) + QStringLiteral("\r\n"));
        for (int i = 0; i < 100; ++i)
            box.AppendText(QStringLiteral("line %1 of the answer\r\n").arg(i));
        QScrollBar *bar = box.verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > firstShown);
        if (selectedBlock == -2) {
            QTextCursor selection(box.document());
            selection.movePosition(QTextCursor::End);
            selection.setPosition(box.document()->findBlockByNumber(95).position(),
                                  QTextCursor::KeepAnchor);
            box.setTextCursor(selection);
        } else if (selectedBlock >= 0) {
            QTextCursor selection(box.document()->findBlockByNumber(selectedBlock));
            selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            box.setTextCursor(selection);
        }
        bar->setValue(firstShown);
        box.horizontalScrollBar()->setValue(box.horizontalScrollBar()->maximum() / 2);
        const int column = box.horizontalScrollBar()->value();
        QVERIFY(column > 0);
        // Plain numbers: a copy of the box's cursor would move along with it.
        const int anchor = box.textCursor().anchor();
        const int position = box.textCursor().position();
        const QString selected = box.textCursor().selectedText();
        const QTextBlock firstBlock = box.document()->firstBlock();
        const int length = box.document()->characterCount();
        QSignalSpy changes(box.document(), &QTextDocument::contentsChange);

        for (int i = 0; i < 50; ++i)
            box.AppendText(QStringLiteral("more %1 ").arg(i) + QString(i % 3, QLatin1Char('\n')));
        QCoreApplication::processEvents();

        QCOMPARE(bar->value(), firstShown);
        QCOMPARE(box.horizontalScrollBar()->value(), column);
        QCOMPARE(box.textCursor().anchor(), anchor);
        QCOMPARE(box.textCursor().position(), position);
        QCOMPARE(box.textCursor().selectedText(), selected);
        QVERIFY(box.document()->firstBlock() == firstBlock);
        QCOMPARE(changes.size(), 50);
        int end = length - 1;
        for (const QList<QVariant> &change : changes) {
            QCOMPARE(change.at(0).toInt(), end); // from: the end
            QCOMPARE(change.at(1).toInt(), 0);   // nothing removed
            end += change.at(2).toInt();
        }
    }

    // A line longer than the shown limit is shown in parts; the text keeps it whole.
    void longLineShownInParts() {
        TextBox box;
        const QString line(2 * TextBox::MaxShownLine + 10, QLatin1Char('z'));
        box.AppendText(QStringLiteral("head\r\n"));
        box.AppendText(line.left(100));
        box.AppendText(line.mid(100));
        box.AppendText(QStringLiteral("\r\nnext"));
        QCOMPARE(box.Text(), QStringLiteral("head\r\n") + line + QStringLiteral("\r\nnext"));
        const QStringList shown = box.toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(shown.size(), 5);
        QCOMPARE(shown.at(1).size(), TextBox::MaxShownLine);
        QCOMPARE(shown.at(2).size(), TextBox::MaxShownLine);
        QCOMPARE(shown.at(3).size(), 10);
        QCOMPARE(shown.at(4), QStringLiteral("next"));
    }
};

QTEST_MAIN(tst_TextBox)
#include "tst_textbox.moc"

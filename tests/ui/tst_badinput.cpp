#include "fakewhois.h"
#include "platform/maskedbox.h"
#include "platform/updown.h"
#include "windowfixture.h"

#include <QClipboard>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

// Whatever a user types, the window either runs a query or ends it by the timeout, shows the
// text as typed, and sends every character of the query.
class tst_BadInput : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Server texts that name a reachable server, in some form.
    void serverForms_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("listenOn");
        QTest::newRow("internationalized") << QStringLiteral("b\u00FCcher.example") << "127.0.0.1";
        QTest::newRow("upper case") << "WHOIS.Example"
                                    << "127.0.0.1";
        QTest::newRow("blanks around") << "  whois.example  "
                                       << "127.0.0.1";
        QTest::newRow("ipv4") << "127.0.0.1"
                              << "127.0.0.1";
        QTest::newRow("ipv6") << "::1"
                              << "::1";
        QTest::newRow("ipv6 in brackets") << "[::1]"
                                          << "::1";
    }
    void serverForms() {
        QFETCH(QString, typed);
        QFETCH(QString, listenOn);
        FakeWhois server;
        if (!server.listen(QHostAddress(listenOn)))
            QSKIP("no such loopback address here");
        server.answerAndClose("found\n");
        Window win;
        win.w.winsock().setTestPort(server.port());
        // The resolver's view of the names: in ASCII form, lower case, to the fake server.
        win.w.winsock().setTestHosts({{QStringLiteral("xn--bcher-kva.example"), listenOn},
                                      {QStringLiteral("whois.example"), listenOn}});
        win.get<QComboBox>("cmbWhoisServer")->setEditText(typed);
        win.search(QStringLiteral("q"));
        QCOMPARE(win.get<QLabel>("lblStatus")->text(), QStringLiteral("Connecting .... ") + typed);
        QTRY_VERIFY(!win.running());
        QCOMPARE(server.requests(), QList<QByteArray>{"q\r\n"});
        QVERIFY(win.text().endsWith(QStringLiteral("Search results of: ") + typed +
                                    QStringLiteral("\r\n\r\nfound\r\n")));
    }

    // What is sent is the query, Windows-1252 where that holds it all, else UTF-8, and CR LF.
    void queryBytes_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QByteArray>("sent");
        QString big;
        for (int i = 0; big.size() < 100 * 1024; ++i)
            big += QStringLiteral("segment%1 ").arg(i);
        QTest::newRow("100 KB") << big << big.toLatin1();
        QTest::newRow("beyond Windows-1252")
            << QStringLiteral("\u20AC \u4E2D\U0001F600 \u00E9")
            << QByteArray("\xE2\x82\xAC \xE4\xB8\xAD\xF0\x9F\x98\x80 \xC3\xA9");
        QTest::newRow("control characters")
            << QStringLiteral("a\x01\x07\tb\x1b") << QByteArray("a\x01\x07\tb\x1b");
        QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) + QStringLiteral("b")
                             << QByteArray("a\0b", 3);
        QTest::newRow("markup") << "<b>&amp;</b>" << QByteArray("<b>&amp;</b>");
    }
    void queryBytes() {
        QFETCH(QString, query);
        QFETCH(QByteArray, sent);
        FakeWhois server;
        QVERIFY(server.listen());
        server.staySilent();
        Window win;
        win.pointAt(server);
        win.search(query);
        const QByteArray expected = sent + "\r\n";
        QTRY_COMPARE(server.received(0).size(), expected.size());
        QCOMPARE(server.received(0), expected);
    }

    // No sequence of keys, pastes and spinner clicks gets anything but digits and blanks into
    // the timeout field, and the program never reads a timeout below 10 from it.
    void timeoutFieldSurvivesAnything_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 12; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void timeoutFieldSurvivesAnything() {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        auto *field = win.get<MaskEdBox>("mtxtTimeOut");
        auto *spinner = win.get<UpDown>("UpDown1");
        auto *other = win.get<QLineEdit>("txtSearchText");
        const QString pastes[] = {QStringLiteral("7"),
                                  QStringLiteral("abc"),
                                  QStringLiteral("123"),
                                  QStringLiteral(" 4x5 "),
                                  QString(),
                                  QStringLiteral("\u0665")};
        const Qt::Key keys[] = {Qt::Key_0,     Qt::Key_5,     Qt::Key_9,         Qt::Key_A,
                                Qt::Key_Space, Qt::Key_Minus, Qt::Key_Backspace, Qt::Key_Delete,
                                Qt::Key_Left,  Qt::Key_Right, Qt::Key_Home,      Qt::Key_End};
        const QRegularExpression digitsAndBlanks(QStringLiteral("^[0-9 ]{2}$"));
        field->setFocus();
        for (int step = 0; step < 300; ++step) {
            switch (rng.bounded(6)) {
            case 0:
            case 1:
                if (!field->hasFocus())
                    field->setFocus();
                QTest::keyClick(field, keys[rng.bounded(int(std::size(keys)))],
                                rng.bounded(4) == 0 ? Qt::ShiftModifier : Qt::NoModifier);
                break;
            case 2:
                QApplication::clipboard()->setText(pastes[rng.bounded(int(std::size(pastes)))]);
                field->setFocus();
                QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
                break;
            case 3:
                rng.bounded(2) ? spinner->stepUp() : spinner->stepDown();
                break;
            case 4:
                other->setFocus(); // leaving the field runs its check
                QTRY_VERIFY(other->hasFocus());
                QVERIFY(win.w.query().timeOut() >= 10);
                QVERIFY(QueryForm::readNumber(field->Text()).has_value());
                break;
            case 5:
                win.ticks(1); // a tick reads and corrects the field too
                QVERIFY(win.w.query().timeOut() >= 10);
                break;
            }
            QVERIFY2(digitsAndBlanks.match(field->Text()).hasMatch(), qPrintable(field->Text()));
            QVERIFY(win.w.query().timeOut() >= 0);
        }
    }
};

QTEST_MAIN(tst_BadInput)
#include "tst_badinput.moc"

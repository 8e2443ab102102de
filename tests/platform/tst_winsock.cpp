#include "fakewhois.h"
#include "platform/winsock.h"

#include <QSignalSpy>
#include <QTest>

#include <sys/socket.h>

class tst_Winsock : public QObject {
    Q_OBJECT
private:
    // Reads every announced piece the way the query handler does.
    struct Reader {
        Winsock &ws;
        QByteArray received;
        int closes = 0;
        int pieces = 0;
        bool dataAfterClose = false;
        explicit Reader(Winsock &w)
            : ws(w) {
            QObject::connect(&ws, &Winsock::DataArrival, &ws, [this](qint32 n) {
                QString text;
                QVERIFY(ws.GetData(text, Winsock::vbString, n));
                QCOMPARE(text.size(), n);
                received += Winsock::toLatin1(text);
                ++pieces;
                if (closes > 0)
                    dataAfterClose = true;
            });
            QObject::connect(&ws, &Winsock::Closed, &ws, [this] {
                ++closes;
                ws.Close();
            });
        }
    };

    static void connectTo(Winsock &ws, const FakeWhois &server, const QString &host) {
        ws.setTestPort(server.port());
        ws.setLocalPort(0);
        ws.setRemotePort(43);
        ws.setRemoteHost(host);
        ws.Connect();
    }

private Q_SLOTS:
    void resolverHost_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("name") << "whois.ripe.net"
                              << "whois.ripe.net";
        QTest::newRow("blanks around") << "  whois.arin.net \t"
                                       << "whois.arin.net";
        QTest::newRow("ipv4") << "127.0.0.1"
                              << "127.0.0.1";
        QTest::newRow("ipv6") << "::1"
                              << "::1";
        QTest::newRow("ipv6 brackets") << "[::1]"
                                       << "::1";
        QTest::newRow("ipv6 brackets blanks") << " [2001:db8::1] "
                                              << "2001:db8::1";
        QTest::newRow("idn") << QStringLiteral("b\u00FCcher.de") << "xn--bcher-kva.de";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("blanks") << "   "
                                << "";
        QTest::newRow("markup") << "<b>x</b>"
                                << "";
        QTest::newRow("ampersand") << "a&b"
                                   << "";
        QTest::newRow("inner blank") << "who is.net"
                                     << "";
        QTest::newRow("broken ipv6") << "[::1"
                                     << "";
        QTest::newRow("too long") << QString(300, QLatin1Char('a')) << "";
        QTest::newRow("double dot") << "a..b"
                                    << "";
    }
    void resolverHost() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(Winsock::resolverHost(text), expected);
    }

    void latin1_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << "abc" << QByteArray("abc");
        QTest::newRow("latin1") << QStringLiteral("\u00E9\u00FF") << QByteArray("\xE9\xFF");
        QTest::newRow("nul") << QString(QChar(0)) << QByteArray(1, '\0');
        QTest::newRow("euro") << QStringLiteral("1\u20AC") << QByteArray("1?");
        QTest::newRow("astral is one char") << QStringLiteral("a\U0001F600b") << QByteArray("a?b");
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QByteArray("?");
    }
    void latin1() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Winsock::toLatin1(text), bytes);
    }

    void everyByteRoundTrips() {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        const QString text = Winsock::fromLatin1(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(Winsock::toLatin1(text), all);
    }

    void exchange() {
        FakeWhois server;
        QVERIFY(server.listen());
        server.answerAndClose("line 1\nline 2\r\n");
        Winsock ws;
        Reader reader(ws);
        QSignalSpy connected(&ws, &Winsock::Connected);
        connect(&ws, &Winsock::Connected, &ws,
                [&ws] { ws.SendData(QStringLiteral("q\u00E9\r\n")); });
        connectTo(ws, server, QStringLiteral("127.0.0.1"));
        QVERIFY(ws.State() != Winsock::sckClosed);
        QTRY_COMPARE(reader.closes, 1);
        QCOMPARE(connected.size(), 1);
        QCOMPARE(server.requests(), QList<QByteArray>{QByteArray("q\xE9\r\n")});
        QCOMPARE(reader.received, QByteArray("line 1\nline 2\r\n"));
        QVERIFY(!reader.dataAfterClose);
        QCOMPARE(ws.State(), int(Winsock::sckClosed));
    }

    // Every byte value, in random pieces and pauses: each arrives once, in order, before Close.
    void randomPieces_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 40; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void randomPieces() {
        QFETCH(quint32, seed);
        QByteArray answer;
        QRandomGenerator rng(seed);
        const int repeats = 1 + int(rng.bounded(8u));
        for (int r = 0; r < repeats; ++r)
            for (int b = 0; b < 256; ++b)
                answer.append(char(b));
        FakeWhois server;
        QVERIFY(server.listen());
        server.answerInPieces(answer, seed, 1 + int(rng.bounded(700u)), int(rng.bounded(3u)));
        Winsock ws;
        Reader reader(ws);
        connect(&ws, &Winsock::Connected, &ws, [&ws] { ws.SendData(QStringLiteral("x\r\n")); });
        connectTo(ws, server, QStringLiteral("127.0.0.1"));
        QTRY_COMPARE_WITH_TIMEOUT(reader.closes, 1, 20000);
        QCOMPARE(reader.received, answer);
        QVERIFY(!reader.dataAfterClose);
    }

    // However fast the server sends, one notification never announces more than MaxPiece.
    void piecesStayBounded() {
        const QByteArray pattern(64 * 1024, 'p');
        const qint64 total = 16 * 1024 * 1024;
        FakeWhois server;
        QVERIFY(server.listen());
        server.flood(total, pattern);
        Winsock ws;
        Reader reader(ws);
        qint32 largest = 0;
        connect(&ws, &Winsock::DataArrival, &ws, [&](qint32 n) { largest = std::max(largest, n); });
        connect(&ws, &Winsock::Connected, &ws, [&ws] { ws.SendData(QStringLiteral("x\r\n")); });
        connectTo(ws, server, QStringLiteral("127.0.0.1"));
        QTRY_COMPARE_WITH_TIMEOUT(reader.closes, 1, 60000);
        QCOMPARE(reader.received.size(), total);
        QVERIFY(largest > 0);
        QVERIFY(largest <= Winsock::MaxPiece);
    }

    void resetKeepsReceivedBytes() {
        FakeWhois server;
        QVERIFY(server.listen());
        server.setResponder([](QTcpSocket *s, const QByteArray &) { s->write("partial answer"); });
        Winsock ws;
        Reader reader(ws);
        connect(&ws, &Winsock::Connected, &ws, [&ws] { ws.SendData(QStringLiteral("x\r\n")); });
        connectTo(ws, server, QStringLiteral("127.0.0.1"));
        QTRY_COMPARE(reader.received, QByteArray("partial answer"));
        QTcpSocket *s = server.lastSocket();
        QVERIFY(s);
        const linger resetOnClose{1, 0}; // close with a reset, not a FIN
        QCOMPARE(::setsockopt(int(s->socketDescriptor()), SOL_SOCKET, SO_LINGER, &resetOnClose,
                              sizeof resetOnClose),
                 0);
        s->setProperty("closedByServer", true);
        s->abort();
        QTRY_COMPARE(reader.closes, 1);
        QCOMPARE(reader.received, QByteArray("partial answer"));
    }

    // After the program's own Close nothing of that connection arrives, even while its
    // server keeps sending.
    void noNotificationAfterClose() {
        FakeWhois flood;
        QVERIFY(flood.listen());
        QTimer pump;
        flood.setResponder([&pump](QTcpSocket *s, const QByteArray &) {
            QObject::connect(&pump, &QTimer::timeout, s, [s] { s->write(QByteArray(4096, 'F')); });
            pump.start(0);
        });
        Winsock ws;
        QSignalSpy data(&ws, &Winsock::DataArrival);
        QSignalSpy closed(&ws, &Winsock::Closed);
        connect(&ws, &Winsock::Connected, &ws, [&ws] { ws.SendData(QStringLiteral("x\r\n")); });
        connectTo(ws, flood, QStringLiteral("127.0.0.1"));
        QTRY_VERIFY(data.size() > 0);
        ws.Close();
        const qsizetype seen = data.size();

        FakeWhois next;
        QVERIFY(next.listen());
        next.answerAndClose("second");
        Reader reader(ws);
        connect(&ws, &Winsock::Connected, &ws, [&ws] { ws.SendData(QStringLiteral("y\r\n")); });
        connectTo(ws, next, QStringLiteral("127.0.0.1"));
        QTRY_COMPARE(reader.closes, 1);
        pump.stop();
        QCOMPARE(reader.received, QByteArray("second"));
        QCOMPARE(data.size() - seen, qsizetype(reader.pieces));
        QCOMPARE(closed.size(), 1);
    }

    void unusableHostFailsQuietly_data() {
        QTest::addColumn<QString>("host");
        QTest::newRow("empty") << "";
        QTest::newRow("markup") << "<b>x</b>";
        QTest::newRow("blanks") << "   ";
    }
    void unusableHostFailsQuietly() {
        Winsock ws;
        QSignalSpy connected(&ws, &Winsock::Connected);
        QSignalSpy closed(&ws, &Winsock::Closed);
        QFETCH(QString, host);
        ws.setRemotePort(43);
        ws.setRemoteHost(host);
        ws.Connect();
        QTRY_COMPARE(ws.State(), int(Winsock::sckError));
        QCOMPARE(connected.size(), 0);
        QCOMPARE(closed.size(), 0);
        ws.Close();
        QCOMPARE(ws.State(), int(Winsock::sckClosed));
    }

    void refusedConnection() {
        quint16 port = 0;
        {
            QTcpServer probe; // a port that was free a moment ago and is closed now
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            port = probe.serverPort();
        }
        Winsock ws;
        QSignalSpy connected(&ws, &Winsock::Connected);
        ws.setTestPort(port);
        ws.setRemoteHost(QStringLiteral("127.0.0.1"));
        ws.Connect();
        QTRY_COMPARE(ws.State(), int(Winsock::sckError));
        QCOMPARE(connected.size(), 0);
        ws.SendData(QStringLiteral("ignored\r\n")); // harmless on a failed control
    }

    void ipv6Literal() {
        FakeWhois server;
        if (!server.listen(QHostAddress::LocalHostIPv6))
            QSKIP("no IPv6 loopback on this machine");
        server.answerAndClose("six");
        Winsock ws;
        Reader reader(ws);
        connect(&ws, &Winsock::Connected, &ws, [&ws] { ws.SendData(QStringLiteral("x\r\n")); });
        connectTo(ws, server, QStringLiteral(" [::1] "));
        QTRY_COMPARE(reader.closes, 1);
        QCOMPARE(reader.received, QByteArray("six"));
    }

    // The real WHOIS port, without the test seam: needs the right to bind a port below 1024.
    void realPort43() {
        FakeWhois server;
        if (!server.listen(QHostAddress(QStringLiteral("127.0.0.43")), 43))
            QSKIP("cannot bind 127.0.0.43:43 (binding ports below 1024 needs root)");
        server.answerAndClose("port 43 answer\n");
        Winsock ws;
        Reader reader(ws);
        connect(&ws, &Winsock::Connected, &ws, [&ws] { ws.SendData(QStringLiteral("x\r\n")); });
        ws.setRemotePort(43);
        ws.setRemoteHost(QStringLiteral("127.0.0.43"));
        ws.Connect();
        QTRY_COMPARE(reader.closes, 1);
        QCOMPARE(reader.received, QByteArray("port 43 answer\n"));
    }
};

QTEST_GUILESS_MAIN(tst_Winsock)
#include "tst_winsock.moc"

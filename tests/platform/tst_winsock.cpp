#include "fakewhois.h"
#include "platform/winsock.h"

#include <QDir>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTest>

#include <sys/socket.h>

class tst_Winsock : public QObject {
    Q_OBJECT
private:
    // Reads every announced piece the way the query handler does.
    struct Reader {
        Winsock &ws;
        QString received;
        int closes = 0;
        int pieces = 0;
        bool dataAfterClose = false;
        explicit Reader(Winsock &w)
            : ws(w) {
            QObject::connect(&ws, &Winsock::DataArrival, &ws, [this](qint32 n) {
                QString text;
                QVERIFY(ws.GetData(text, Winsock::vbString, n));
                QVERIFY(text.size() <= n + 3); // at most an unfinished sequence held back before
                received += text;
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

    // Pieces of one answer: UTF-8 while valid, then Windows-1252 to the end; ISO-2022-JP from
    // its first designation (while still UTF-8); a table server's set from the start.
    void answerText_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("switchedAt"); // -1: still UTF-8
        using P = QList<QByteArray>;
        const QString any = QStringLiteral("whois.example.net");
        QTest::newRow("split inside a letter")
            << any << P{"City: Bor\xC3", "\xA5s\n"} << QStringLiteral("City: Bor\u00E5s\n") << -1;
        QTest::newRow("emoji byte by byte")
            << any << P{"\xF0", "\x9F", "\x98", "\x80", "!"} << QStringLiteral("\U0001F600!") << -1;
        QTest::newRow("byte-order mark kept, split") << any
                                                     << P{"\xEF\xBB", "\xBF"
                                                                      "a\xEF\xBB\xBF"}
                                                     << QStringLiteral("\uFEFFa\uFEFF") << -1;
        QTest::newRow("switch, then UTF-8 bytes as 1252")
            << any << P{"\xC3\xA9 ", "\xFF \xC3\xA9"}
            << QStringLiteral("\u00E9 \u00FF \u00C3\u00A9") << 2;
        QTest::newRow("unfinished at the end")
            << any << P{"ab\xE4\xB8"} << QStringLiteral("ab\u00E4\u00B8") << 2;
        QTest::newRow("unfinished, then a bad byte")
            << any << P{"\xE4\xB8", "A\xE4\xB8\xAD"}
            << QStringLiteral("\u00E4\u00B8A\u00E4\u00B8\u00AD") << 0;
        QTest::newRow("overlong") << any << P{"x\xC0\xAF"} << QStringLiteral("x\u00C0\u00AF") << 1;
        QTest::newRow("encoded surrogate")
            << any << P{"\xED\xA0", "\x80"} << QStringLiteral("\u00ED\u00A0\u20AC") << 0;
        QTest::newRow("above U+10FFFF")
            << any << P{"\xF4\x90\x80\x80"} << QStringLiteral("\u00F4\u0090\u20AC\u20AC") << 0;
        QTest::newRow("stray continuation")
            << any << P{"a\x80", "b"} << QStringLiteral("a\u20ACb") << 1;
        QTest::newRow("1252 punctuation and the five holes")
            << any << P{"\x93q\x94\x85", "\x81\x8D\x8F\x90\x9D"}
            << QStringLiteral("\u201Cq\u201D\u2026\u0081\u008D\u008F\u0090\u009D") << 0;
        QTest::newRow("ISO-8859-1")
            << any << P{"M\xFCller\n"} << QStringLiteral("M\u00FCller\n") << 1;
        QTest::newRow("ISO-2022-JP, designation split")
            << any << P{"\xC3\xA5[\x1B", "$", "BEPO?<TL>\x1B(B]"}
            << QStringLiteral("\u00E5[\u767B\u9332\u8005\u540D]") << 2;
        QTest::newRow("ESC ( B alone, ESC at the end: UTF-8")
            << any << P{"\x1B(Bx\x1B[1m\x1B"} << QStringLiteral("\x1B(Bx\x1B[1m\x1B") << -1;
        QTest::newRow("ISO-2022-JP by its older designation, ESC $ @")
            << any << P{"[\x1B$@EPO?\x1B(B]"} << QStringLiteral("[\u767B\u9332]") << 1;
        QTest::newRow("after the switch to 1252, ESC $ B is 1252")
            << any << P{"\xFF\x1B$B"} << QStringLiteral("\u00FF\x1B$B") << 0;
        QTest::newRow("table server: a character split, one cut off at the close")
            << QStringLiteral(" OldWhois.KISA.or.kr. ") << P{"\xB5", "\xB5\xB8"}
            << QStringLiteral("\uB3C4\uFFFD") << 0;
    }
    void answerText() {
        QFETCH(QString, server);
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QString, text);
        QFETCH(int, switchedAt);
        AnswerDecoder decoder;
        decoder.reset(server);
        QString got;
        for (const QByteArray &piece : pieces)
            got += decoder.take(piece);
        got += decoder.finish();
        QCOMPARE(got, text);
        QCOMPARE(decoder.switchedAt(), qsizetype(switchedAt));
        decoder.reset(); // a new connection reads UTF-8 again
        QCOMPARE(decoder.take("\xC3\xA5"), QStringLiteral("\u00E5"));
    }

    // Whatever the piece sizes, the text is the same. Automatic reading turns back into the
    // bytes that came (UTF-8 before the switch, Windows-1252 from it on); answers in another
    // set (files made from real text, see tests/data/README.md) read as that text.
    void answerRoundTrips_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("text"); // empty: the automatic round trip
        const QString any = QStringLiteral("whois.example.net");
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        QTest::newRow("every byte value") << any << all + all << QString();
        QTest::newRow("UTF-8 then every byte")
            << any << QByteArray("\xE4\xBE\x8B\xC3\xA5") + all << QString();
        const QDir dir(QStringLiteral(LUMBRA_TEST_DATA "/samples"));
        for (const QString &name :
             dir.entryList({QStringLiteral("misc-*.txt"), QStringLiteral("denic-failed-utf8.txt")},
                           QDir::Files))
            QTest::newRow(qPrintable(name))
                << any << FakeWhois::readFile(dir.filePath(name)) << QString();
        const struct {
            const char *server, *file, *text;
        } made[] = {
            {"whois.nic.ad.jp", "made/jpnic-iso2022jp.txt", "made/jpnic-iso2022jp.utf8"},
            {"whois.kg", "made/kg-windows1251.txt", "made/kg-windows1251.utf8"},
            {"whois.nic.tr", "samples/misc-google.com.tr-win1252.txt",
             "made/nictr-windows1254.utf8"},
            {"oldwhois.kisa.or.kr", "made/kisa-euckr.txt", "made/kisa-euckr.utf8"},
            {"whois.example.jp", "made/other-iso2022jp.txt", "made/other-iso2022jp.utf8"},
        };
        const QString data = QStringLiteral(LUMBRA_TEST_DATA "/");
        for (const auto &row : made)
            QTest::addRow("%s", row.server)
                << QString::fromLatin1(row.server)
                << FakeWhois::readFile(data + QString::fromLatin1(row.file))
                << QString::fromUtf8(FakeWhois::readFile(data + QString::fromLatin1(row.text)));
    }
    void answerRoundTrips() {
        QFETCH(QString, server);
        QFETCH(QByteArray, answer);
        QFETCH(QString, text);
        QVERIFY(!answer.isEmpty());
        AnswerDecoder inOne;
        inOne.reset(server);
        const QString whole = inOne.take(answer) + inOne.finish();
        if (!text.isEmpty())
            QCOMPARE(whole, text);
        for (quint32 seed = 1; seed <= 30; ++seed) {
            QRandomGenerator rng(seed);
            const int maxPiece = seed <= 5 ? 1 : 1 + int(rng.bounded(64u));
            AnswerDecoder decoder;
            decoder.reset(server);
            QString got;
            for (qsizetype at = 0; at < answer.size();) {
                const qsizetype n =
                    std::min<qsizetype>(1 + rng.bounded(quint32(maxPiece)), answer.size() - at);
                got += decoder.take(answer.sliced(at, n));
                at += n;
            }
            got += decoder.finish();
            QCOMPARE(got, whole); // however it was cut
            if (!text.isEmpty())
                continue;
            const qsizetype k = decoder.switchedAt() < 0 ? got.size() : decoder.switchedAt();
            QByteArray back = QStringView(got).first(k).toUtf8();
            QByteArray rest;
            QVERIFY(WireText::toWindows1252(QStringView(got).sliced(k), &rest));
            back += rest;
            QCOMPARE(back, answer);
            QVERIFY(!got.contains(QChar::ReplacementCharacter));
        }
    }

    // A query's bytes at a server: internationalised domain names that pass ICU's IDNA checks in
    // ACE form (Unicode at DENIC), then Windows-1252 if that holds all of it (never at DENIC), else
    // whole in UTF-8.
    void queryBytes_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QByteArray>("bytes");
        const QString verisign = QStringLiteral("whois.verisign-grs.com");
        const QString denic = QStringLiteral("whois.denic.de");
        const QString other = QStringLiteral("whois.example.net");
        QTest::newRow("ascii") << "example.com" << other << QByteArray("example.com");
        QTest::newRow("ascii at denic unchanged")
            << "Example.DE  =x" << denic << QByteArray("Example.DE  =x");
        QTest::newRow("idn at verisign")
            << QStringLiteral("m\u00FCller.com") << verisign << QByteArray("xn--mller-kva.com");
        QTest::newRow("idn, keyword and blanks kept")
            << QStringLiteral("domain \t m\u00FCller.com ") << verisign
            << QByteArray("domain \t xn--mller-kva.com ");
        QTest::newRow("two names, uppercase, sharp s")
            << QStringLiteral("M\u00FCller.DE stra\u00DFe.de") << other
            << QByteArray("xn--mller-kva.de xn--strae-oqa.de");
        QTest::newRow("japanese, ideographic full stop")
            << QStringLiteral("\u4F8B\u3048\u3002jp") << other << QByteArray("xn--r8jz45g.jp");
        QTest::newRow("emoji name")
            << QStringLiteral("\U0001F600.ws") << other << QByteArray("xn--e28h.ws");
        QTest::newRow("no dot, no name")
            << QStringLiteral("M\u00FCller GmbH") << other << QByteArray("M\xFCller GmbH");
        QTest::newRow("e-mail address is no name") << QStringLiteral("j\u00FCrgen@m\u00FCller.de")
                                                   << other << QByteArray("j\xFCrgen@m\xFCller.de");
        QTest::newRow("exact-match flag, then the name")
            << QStringLiteral("=m\u00FCller.com") << verisign << QByteArray("=xn--mller-kva.com");
        QTest::newRow("misplaced joiner goes as text")
            << QStringLiteral("ab\u200Ccd.com") << verisign
            << QByteArray("ab\xE2\x80\x8C"
                          "cd.com");
        QTest::newRow("leading combining mark goes as text")
            << QStringLiteral("\u0301abc.com") << other
            << QByteArray("\xCC\x81"
                          "abc.com");
        QTest::newRow("euro") << QStringLiteral("\u20ACuro") << other << QByteArray("\x80uro");
        QTest::newRow("a hole") << QStringLiteral("\u0081") << other << QByteArray("\x81");
        QTest::newRow("beyond 1252 goes whole in UTF-8")
            << QStringLiteral("\u00FC\u4F8B") << other << QByteArray("\xC3\xBC\xE4\xBE\x8B");
        QTest::newRow("denic: name in Unicode, UTF-8")
            << QStringLiteral("M\u00FCller.DE") << denic << QByteArray("m\xC3\xBCller.de");
        QTest::newRow("denic: any case, blanks, trailing dot")
            << QStringLiteral("M\u00FCller GmbH") << QStringLiteral(" WHOIS.Denic.DE. ")
            << QByteArray("M\xC3\xBCller GmbH");
        QTest::newRow("denic's name alone is no rule")
            << QStringLiteral("M\u00FCller") << QStringLiteral("whois.denic.de.example")
            << QByteArray("M\xFCller");
    }
    void queryBytes() {
        QFETCH(QString, query);
        QFETCH(QString, server);
        QFETCH(QByteArray, bytes);
        QCOMPARE(WireText::queryBytes(query, server), bytes);
    }

    // SendData encodes the query for the server it was connected to.
    void sendDataKnowsTheServer() {
        FakeWhois server;
        QVERIFY(server.listen());
        server.answerAndClose("ok");
        Winsock ws;
        Reader reader(ws);
        ws.setTestHosts({{QStringLiteral("whois.denic.de"), QStringLiteral("127.0.0.1")}});
        connect(&ws, &Winsock::Connected, &ws,
                [&ws] { ws.SendData(QStringLiteral("M\u00FCller.DE\r\n")); });
        connectTo(ws, server, QStringLiteral("whois.denic.de"));
        QTRY_COMPARE(reader.closes, 1);
        QCOMPARE(server.requests(), QList<QByteArray>{"m\xC3\xBCller.de\r\n"});
    }

    // The server named in RemoteHost decides how its answer is read, through the real control.
    void answerSetOfTheServer_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("text");
        QTest::newRow("whois.kg in Windows-1251") << "whois.kg"
                                                  << "made/kg-windows1251.txt"
                                                  << "made/kg-windows1251.utf8";
        QTest::newRow("JPNIC in ISO-2022-JP") << "whois.nic.ad.jp"
                                              << "made/jpnic-iso2022jp.txt"
                                              << "made/jpnic-iso2022jp.utf8";
    }
    void answerSetOfTheServer() {
        QFETCH(QString, server);
        QFETCH(QString, answer);
        QFETCH(QString, text);
        const QString data = QStringLiteral(LUMBRA_TEST_DATA "/");
        FakeWhois fake;
        QVERIFY(fake.listen());
        fake.answerAndClose(FakeWhois::readFile(data + answer));
        Winsock ws;
        Reader reader(ws);
        ws.setTestHosts({{server, QStringLiteral("127.0.0.1")}});
        connect(&ws, &Winsock::Connected, &ws, [&ws] { ws.SendData(QStringLiteral("q\r\n")); });
        connectTo(ws, fake, server);
        QTRY_COMPARE(reader.closes, 1);
        QCOMPARE(reader.received, QString::fromUtf8(FakeWhois::readFile(data + text)));
    }

    // An answer past the limit: every byte before it, then the line that says so, and the close
    // as from the server; nothing more is read.
    void answerPastTheLimit() {
        QByteArray pattern;
        while (pattern.size() < 60000)
            pattern += "Endless: M\xC3\xBCller Stra\xC3\x9F"
                       "e, and on\n";
        pattern.truncate(60000); // the limit falls inside a line, here inside a letter
        const qint64 total = 2 * Winsock::MaxAnswer;
        FakeWhois server;
        QVERIFY(server.listen());
        server.flood(total, pattern);
        Winsock ws;
        Reader reader(ws);
        QSignalSpy added(&ws, &Winsock::TextAdded);
        connect(&ws, &Winsock::Connected, &ws, [&ws] { ws.SendData(QStringLiteral("x\r\n")); });
        connectTo(ws, server, QStringLiteral("127.0.0.1"));
        QTRY_COMPARE_WITH_TIMEOUT(reader.closes, 1, 120000);
        QVERIFY(!reader.dataAfterClose);
        QByteArray kept;
        while (kept.size() < Winsock::MaxAnswer)
            kept += pattern;
        kept.truncate(Winsock::MaxAnswer);
        const QString tail = QLatin1Char('\n') + Winsock::CutLine() + QLatin1Char('\n');
        AnswerDecoder decoder;
        QString expected = decoder.take(kept);
        expected += decoder.finish() + tail;
        QVERIFY(reader.received == expected);
        QCOMPARE(added.size(), 1);
        QCOMPARE(added.at(0).at(0).toString(), tail);
        QTRY_COMPARE(server.closedByClient(), 1);
        QVERIFY(server.sent() < total);
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
        QCOMPARE(reader.received, QStringLiteral("line 1\nline 2\r\n"));
        QVERIFY(!reader.dataAfterClose);
        QCOMPARE(ws.State(), int(Winsock::sckClosed));
    }

    // An unfinished sequence at the server's close comes before Closed, as Windows-1252; the
    // next connection reads UTF-8 again.
    void heldBytesAtClose() {
        FakeWhois server;
        QVERIFY(server.listen());
        Winsock ws;
        Reader reader(ws);
        connect(&ws, &Winsock::Connected, &ws, [&ws] { ws.SendData(QStringLiteral("x\r\n")); });
        server.answerAndClose("ab\xE4\xB8");
        connectTo(ws, server, QStringLiteral("127.0.0.1"));
        QTRY_COMPARE(reader.closes, 1);
        QCOMPARE(reader.received, QStringLiteral("ab\u00E4\u00B8"));
        QVERIFY(!reader.dataAfterClose);

        reader.received.clear();
        server.answerAndClose("Bor\xC3\xA5s");
        connectTo(ws, server, QStringLiteral("127.0.0.1"));
        QTRY_COMPARE(reader.closes, 2);
        QCOMPARE(reader.received, QStringLiteral("Bor\u00E5s"));
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
        QCOMPARE(reader.received, QStringDecoder("windows-1252").decode(answer)); // from 0x80 on
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
        QTRY_COMPARE(reader.received, QStringLiteral("partial answer"));
        QTcpSocket *s = server.lastSocket();
        QVERIFY(s);
        const linger resetOnClose{1, 0}; // close with a reset, not a FIN
        QCOMPARE(::setsockopt(int(s->socketDescriptor()), SOL_SOCKET, SO_LINGER, &resetOnClose,
                              sizeof resetOnClose),
                 0);
        s->setProperty("closedByServer", true);
        s->abort();
        QTRY_COMPARE(reader.closes, 1);
        QCOMPARE(reader.received, QStringLiteral("partial answer"));
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
        QCOMPARE(reader.received, QStringLiteral("second"));
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
        QCOMPARE(reader.received, QStringLiteral("six"));
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
        QCOMPARE(reader.received, QStringLiteral("port 43 answer\n"));
    }
};

QTEST_GUILESS_MAIN(tst_Winsock)
#include "tst_winsock.moc"

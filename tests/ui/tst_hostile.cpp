#include "fakewhois.h"
#include "query/query.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTest>

#include <limits>

#include <sys/socket.h>

// Servers that misbehave: the window never crashes or hangs, keeps every byte sent before the
// close, and still answers the user.
namespace {
const QString CrLf = QStringLiteral("\r\n");
QString header(const QString &server) {
    return CrLf + QString(56, QLatin1Char('-')) + CrLf + QStringLiteral("Search results of: ") +
           server + CrLf + CrLf;
}
// The text an answer leaves in the box, read whole in one encoding.
QString shown(const QByteArray &answer, const char *encoding = "UTF-8") {
    return QueryForm::lfToCrLf(QStringDecoder(encoding).decode(answer));
}
QByteArray whoisLines() {
    QByteArray pattern;
    for (int i = 0; pattern.size() < 64 * 1024; ++i)
        pattern += "Flood-Line-" + QByteArray::number(i) + ": the quick brown fox jumps over it\n";
    return pattern.left(64 * 1024);
}
} // namespace

class tst_Hostile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A whole flood is taken in, byte for byte, while the event loop keeps running.
    void floodTakenInWhole() {
        const QByteArray pattern = whoisLines();
        const qint64 total = 48 * pattern.size(); // 3 MiB in 48 writes of 64 KiB
        FakeWhois server;
        QVERIFY(server.listen());
        server.flood(total, pattern);
        Window win;
        win.pointAt(server);
        int heartbeats = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, &win.w, [&] { ++heartbeats; });
        heartbeat.start(10);
        win.search(QStringLiteral("flood"));
        QTRY_VERIFY_WITH_TIMEOUT(!win.running(), 120000);
        QVERIFY(win.endedCleanly());
        QVERIFY(heartbeats > 0);
        const QString expectedPiece = shown(pattern);
        const QString text = win.text();
        const QString head = header(server.host());
        QCOMPARE(text.size(), head.size() + 48 * expectedPiece.size());
        for (int i = 0; i < 48; ++i)
            QVERIFY(QStringView(text).mid(head.size() + i * expectedPiece.size(),
                                          expectedPiece.size()) == expectedPiece);
    }

    // An endless answer is cut at the limit: every byte before it stays, one line says why,
    // and the query ends as at a close, so the sweep goes on with the next server.
    void endlessAnswerCut() {
        const QByteArray pattern = whoisLines();
        FakeWhois endless;
        QVERIFY(endless.listen());
        endless.flood(std::numeric_limits<qint64>::max(), pattern);
        FakeWhois next;
        QVERIFY(next.listen(QHostAddress(QStringLiteral("127.0.0.2")), endless.port()));
        next.answerAndClose("calm answer\n");
        Window win;
        win.pointAt(endless);
        auto *servers = win.get<QComboBox>("cmbWhoisServer");
        servers->clear();
        servers->addItems({endless.host(), next.host()});
        win.get<QCheckBox>("chkAll")->setChecked(true);
        win.search(QStringLiteral("q")); // returns once the sweep has ended
        QVERIFY(win.endedCleanly());
        QTRY_COMPARE(endless.closedByClient(), 1);
        const QString piece = shown(pattern);
        const qint64 pieces = Winsock::MaxAnswer / pattern.size();
        const QString first = header(endless.host());
        QVERIFY(!pattern.endsWith('\n')); // so the line that says why starts a line
        const QString cut = CrLf + Winsock::CutLine() + CrLf;
        const QString text = win.text();
        QCOMPARE(text.size(), first.size() + pieces * piece.size() + cut.size() +
                                  header(next.host()).size() + 13);
        QVERIFY(text.startsWith(first));
        for (qint64 i = 0; i < pieces; i += 97)
            QVERIFY(QStringView(text).mid(first.size() + i * piece.size(), piece.size()) == piece);
        QVERIFY(
            text.endsWith(piece + cut + header(next.host()) + QStringLiteral("calm answer\r\n")));
    }

    // Mid-flood, a new Search closes the flood's connection and nothing of it follows.
    void searchDuringFlood() {
        FakeWhois flood;
        QVERIFY(flood.listen());
        const qint64 total = qint64(512) * 1024 * 1024;
        flood.flood(total, whoisLines());
        FakeWhois next;
        QVERIFY(next.listen(QHostAddress(QStringLiteral("127.0.0.2")), flood.port()));
        next.answerAndClose("calm answer\n");
        Window win;
        win.pointAt(flood);
        win.search(QStringLiteral("flood"));
        QTRY_VERIFY_WITH_TIMEOUT(win.text().size() > 4 * 1024 * 1024, 60000);
        win.get<QComboBox>("cmbWhoisServer")->setEditText(QStringLiteral("127.0.0.2"));
        win.search(QStringLiteral("calm"));
        QTRY_COMPARE(flood.closedByClient(), 1);
        QVERIFY(flood.sent() < total); // handled while the flood was still going
        QTRY_VERIFY(!win.running());
        QCOMPARE(win.text(),
                 header(QStringLiteral("127.0.0.2")) + QStringLiteral("calm answer\r\n"));
    }

    void exitDuringFlood() {
        FakeWhois flood;
        QVERIFY(flood.listen());
        const qint64 total = qint64(512) * 1024 * 1024;
        flood.flood(total, whoisLines());
        Window win;
        win.pointAt(flood);
        win.search(QStringLiteral("flood"));
        QTRY_VERIFY_WITH_TIMEOUT(win.text().size() > 4 * 1024 * 1024, 60000);
        win.get<QPushButton>("btnExit")->click();
        QCOMPARE(win.ended, 1);
        QTRY_COMPARE(flood.closedByClient(), 1);
        QVERIFY(flood.sent() < total);
    }

    // Copy mid-flood puts exactly what has arrived so far on the clipboard.
    void copyDuringFlood() {
        FakeWhois flood;
        QVERIFY(flood.listen());
        flood.flood(qint64(512) * 1024 * 1024, whoisLines());
        Window win;
        win.pointAt(flood);
        win.search(QStringLiteral("flood"));
        QTRY_VERIFY_WITH_TIMEOUT(win.text().size() > 1024 * 1024, 60000);
        win.get<QPushButton>("btnCopy")->click();
        const QString copied = QApplication::clipboard()->text();
        QVERIFY(win.text().startsWith(copied));
        QVERIFY(copied.size() > 1024 * 1024);
        win.get<QPushButton>("btnExit")->click();
    }

    // One byte per tick keeps the query alive as long as the drip goes on.
    void slowDrip() {
        FakeWhois server;
        QVERIFY(server.listen());
        server.staySilent();
        Window win;
        win.pointAt(server);
        win.search(QStringLiteral("drip"));
        QTRY_COMPARE(server.requests().size(), 1);
        for (int i = 0; i < 30; ++i) {
            win.ticks(1);
            server.lastSocket()->write(QByteArray(1, char('a' + i % 26)));
            QTRY_COMPARE(win.w.query().intSeconds, qint16(0));
        }
        QVERIFY(win.running());
        win.ticks(11);
        QVERIFY(win.endedCleanly());
        QCOMPARE(win.text().size(), header(server.host()).size() + 30);
    }

    // Server failures end the query; what arrived before stays.
    void brokenServers_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("ticks"); // ticks it takes to end: 0 for an end by the server
        QTest::newRow("reset mid-answer") << "reset" << QByteArray("half an ans") << 0;
        QTest::newRow("half-close") << "halfclose" << QByteArray("partial\n") << 0;
        QTest::newRow("silent") << "silent" << QByteArray() << 11;
        QTest::newRow("silent after data") << "silent" << QByteArray("some\n") << 11;
    }
    void brokenServers() {
        QFETCH(QString, how);
        QFETCH(QByteArray, before);
        QFETCH(int, ticks);
        FakeWhois server;
        QVERIFY(server.listen());
        server.setResponder([&](QTcpSocket *s, const QByteArray &) { s->write(before); });
        Window win;
        win.pointAt(server);
        win.search(QStringLiteral("q"));
        QTRY_COMPARE(server.requests().size(), 1);
        QTRY_COMPARE(win.text(), header(server.host()) + shown(before));
        QTcpSocket *s = server.lastSocket();
        QVERIFY(s);
        s->setProperty("closedByServer", true);
        if (how == QLatin1String("reset")) {
            const linger resetOnClose{1, 0};
            ::setsockopt(int(s->socketDescriptor()), SOL_SOCKET, SO_LINGER, &resetOnClose,
                         sizeof resetOnClose);
            s->abort();
        } else if (how == QLatin1String("halfclose")) {
            QCOMPARE(::shutdown(int(s->socketDescriptor()), SHUT_WR), 0);
        }
        if (ticks == 0) {
            QTRY_VERIFY(!win.running());
        } else {
            win.ticks(ticks - 1);
            QVERIFY(win.running());
            win.ticks(1);
        }
        QVERIFY(win.endedCleanly());
        QCOMPARE(win.text(), header(server.host()) + shown(before));
    }

    // Servers that cannot be reached end by the timeout, on the eleventh tick.
    void unreachable_data() {
        QTest::addColumn<QString>("server");
        QTest::newRow("refused") << "127.0.0.1";
        QTest::newRow("unresolvable name") << "no-such-host.example";
        QTest::newRow("unusable text") << "not a host!";
        QTest::newRow("blanks only") << "   ";
        QTest::newRow("300 characters") << QString(300, QLatin1Char('w'));
    }
    void unreachable() {
        QFETCH(QString, server);
        quint16 closed = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            closed = probe.serverPort();
        }
        Window win;
        win.w.winsock().setTestPort(closed);
        win.w.winsock().setTestHosts({}); // names resolve nowhere: no resolver is asked
        win.get<QComboBox>("cmbWhoisServer")->setEditText(server);
        win.search(QStringLiteral("q"));
        QVERIFY(win.boxes.isEmpty());
        QTRY_COMPARE(win.w.winsock().State(), int(Winsock::sckError));
        QCOMPARE(win.get<QLabel>("lblStatus")->text(), QStringLiteral("Connecting .... ") + server);
        win.ticks(10);
        QVERIFY(win.running());
        win.ticks(1);
        QVERIFY(win.endedCleanly());
        QCOMPARE(win.text(), header(server));
    }

    // Odd answers: every byte value, one huge line, one byte per notification.
    void everyByteValue() {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        FakeWhois server;
        QVERIFY(server.listen());
        server.answerAndClose(all + all);
        Window win;
        win.pointAt(server);
        win.search(QStringLiteral("q"));
        QTRY_VERIFY(!win.running());
        // ASCII up to 0x7F, so Windows-1252 from there on.
        QCOMPARE(win.text(), header(server.host()) + shown(all + all, "windows-1252"));
    }

    void tenMegabyteLine() {
        const QByteArray line = QByteArray(10 * 1000 * 1000, 'L') + '\n';
        FakeWhois server;
        QVERIFY(server.listen());
        server.flood(line.size(), line);
        Window win;
        win.pointAt(server);
        win.search(QStringLiteral("q"));
        QTRY_VERIFY_WITH_TIMEOUT(!win.running(), 120000);
        QVERIFY(win.text() == header(server.host()) + shown(line));
    }

    void oneBytePerPiece() {
        const QByteArray answer = "domain: example.com\nstatus: active\r\n";
        FakeWhois server;
        QVERIFY(server.listen());
        server.staySilent();
        Window win;
        win.pointAt(server);
        win.search(QStringLiteral("q"));
        QTRY_COMPARE(server.requests().size(), 1);
        const qint16 frameBefore = win.w.query().intFrame;
        for (int i = 0; i < answer.size(); ++i) {
            server.lastSocket()->write(answer.mid(i, 1));
            QTRY_COMPARE(win.text(), header(server.host()) + shown(answer.left(i + 1)));
        }
        FakeWhois::closeFromServer(server.lastSocket());
        QTRY_VERIFY(!win.running());
        QCOMPARE(win.w.query().intFrame, qint16((frameBefore + answer.size() - 1) % 4 + 1));
    }

    // The recorded answers, each replayed in random pieces (1 byte at most for some), read in
    // the encoding their server used.
    void recordedAnswers_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QString>("line");
        const QDir dir(QStringLiteral(LUMBRA_TEST_DATA "/samples"));
        const QHash<QString, QString> lines = {
            {QStringLiteral("denic-failed-utf8.txt"), QStringLiteral("City: Bor\u00E5s\r\n")},
            {QStringLiteral("misc-kr-utf8.txt"), QStringLiteral("\uAD6C\uAE00\uCF54\uB9AC\uC544")},
            {QStringLiteral("misc-pt-utf8-crlf.txt"),
             QStringLiteral("Data de expira\u00E7\u00E3o")},
            {QStringLiteral("misc-google.com.tr-win1252.txt"),
             QStringLiteral("Bili\u00FEim Yay\u00FDnc\u00FDl\u00FDk")},
        };
        quint32 seed = 1;
        for (const QString &name :
             dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
            const QByteArray encoding = name.contains(QLatin1String("win1252"))
                                            ? QByteArrayLiteral("windows-1252")
                                            : QByteArrayLiteral("UTF-8");
            QTest::newRow(qPrintable(name))
                << dir.filePath(name) << seed++ << encoding << lines.value(name);
        }
        QVERIFY(seed > 10);
    }
    void recordedAnswers() {
        QFETCH(QString, file);
        QFETCH(quint32, seed);
        QFETCH(QByteArray, encoding);
        QFETCH(QString, line);
        const QByteArray answer = FakeWhois::readFile(file);
        QVERIFY(!answer.isEmpty());
        FakeWhois server;
        QVERIFY(server.listen());
        server.answerInPieces(answer, seed, seed % 3 == 0 ? 1 : 1 + int(seed * 37 % 300), 1);
        Window win;
        win.pointAt(server);
        win.search(QStringLiteral("example"));
        QTRY_VERIFY_WITH_TIMEOUT(!win.running(), 30000);
        QCOMPARE(win.text(), header(server.host()) + shown(answer, encoding.constData()));
        QVERIFY(win.text().contains(line));
        QCOMPARE(server.requests(), QList<QByteArray>{"example\r\n"});
    }
};

QTEST_MAIN(tst_Hostile)
#include "tst_hostile.moc"

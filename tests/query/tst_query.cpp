#include "fakewhois.h"
#include "platform/maskedbox.h"
#include "platform/picturebox.h"
#include "platform/textbox.h"
#include "platform/winsock.h"
#include "platform/wiretext.h"
#include "query/query.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {
const QString CrLf = QStringLiteral("\r\n");

QString block(const QString &server) {
    return CrLf + QString(56, QLatin1Char('-')) + CrLf + QStringLiteral("Search results of: ") +
           server + CrLf + CrLf;
}

// The answer's text as read in one piece, LF as CR LF: what any cutting into pieces must give.
QString wholeAnswer(const QByteArray &bytes) {
    AnswerDecoder decoder;
    return QueryForm::lfToCrLf(decoder.take(bytes) + decoder.finish());
}

// The window's controls without the window: what the handlers work on.
struct Form : QueryHost {
    QWidget window;
    QueryControls c;
    QueryForm *query = nullptr;
    QList<QPair<QString, QString>> messages;
    QList<int> framesShown;
    std::function<void()> onMessage;

    Form() {
        c.txtSearchText = new QLineEdit(&window);
        c.cmbWhoisServer = new QComboBox(&window);
        c.cmbWhoisServer->setEditable(true);
        c.chkAll = new QCheckBox(&window);
        c.mtxtTimeOut = new MaskEdBox(&window);
        c.txtSearchResult = new TextBox(&window);
        c.lblStatus = new QLabel(&window);
        c.lblTimeOut = new QLabel(&window);
        c.imgStatus = new PictureBox(&window);
        c.Timer1 = new QTimer(&window);
        c.Timer1->setInterval(3600 * 1000); // ticks are driven by the tests
        c.Winsock1 = new Winsock(&window);
        query = new QueryForm(c, *this, &window);
        c.mtxtTimeOut->SetText(QStringLiteral("10"));
    }
    QPixmap animationFrame(int index) override {
        framesShown.append(index);
        QPixmap p(32, 32);
        p.fill(Qt::black);
        return p;
    }
    void messageBox(const QString &prompt, const QString &title) override {
        messages.append({prompt, title});
        if (onMessage)
            onMessage();
    }
    QString text() const { return c.txtSearchResult->Text(); }
    bool running() const { return c.Timer1->isActive(); }
    // A query to a fake server, started the way the Search command starts one.
    void start(const FakeWhois &server, const QString &query = QStringLiteral("example.com")) {
        c.Winsock1->setTestPort(server.port());
        query_start(query, server.host());
    }
    void query_start(const QString &q, const QString &server) {
        query->intSeconds = 0;
        c.Timer1->start();
        c.imgStatus->setVisible(true);
        query->StartQuery(q, server);
    }
    void setServers(const QStringList &servers) {
        c.cmbWhoisServer->clear();
        c.cmbWhoisServer->addItems(servers);
        c.cmbWhoisServer->setCurrentIndex(0);
    }
};

// Loopback servers 127.0.0.1, .2, ... sharing one port, so one test port reaches them all.
struct ServerSet {
    std::vector<std::unique_ptr<FakeWhois>> servers;
    quint16 port = 0;
    QStringList hosts;
    bool listen(int count) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            servers.clear();
            hosts.clear();
            auto first = std::make_unique<FakeWhois>();
            if (!first->listen(QHostAddress(QStringLiteral("127.0.0.1"))))
                return false;
            port = first->port();
            servers.push_back(std::move(first));
            hosts << QStringLiteral("127.0.0.1");
            bool all = true;
            for (int i = 2; i <= count && all; ++i) {
                auto s = std::make_unique<FakeWhois>();
                const QString host = QStringLiteral("127.0.0.%1").arg(i);
                all = s->listen(QHostAddress(host), port);
                servers.push_back(std::move(s));
                hosts << host;
            }
            if (all)
                return true;
        }
        return false;
    }
    FakeWhois &operator[](int i) { return *servers[size_t(i)]; }
};
} // namespace

class tst_Query : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The whole result text of one query, for recorded and made-up answers.
    void exactText_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no answer") << QByteArray() << QString();
        QTest::newRow("bare LF") << QByteArray("a\nb\n") << QStringLiteral("a\r\nb\r\n");
        QTest::newRow("CR LF") << QByteArray("a\r\nb") << QStringLiteral("a\r\r\nb");
        QTest::newRow("lone CR") << QByteArray("a\rb") << QStringLiteral("a\rb");
        QTest::newRow("LF LF") << QByteArray("\n\n") << QStringLiteral("\r\n\r\n");
        QTest::newRow("not UTF-8: Windows-1252")
            << QByteArray("\xE9\xFF\x80") << QStringLiteral("\u00E9\u00FF\u20AC");
        QTest::newRow("UTF-8") << QByteArray("\xC3\xA9\xE2\x82\xAC")
                               << QStringLiteral("\u00E9\u20AC");
        QTest::newRow("NUL") << QByteArray("a\0b", 3)
                             << QStringLiteral("a") + QChar(0) + QStringLiteral("b");
        const QStringList samples = {
            QStringLiteral("ripe-as32934.txt"), QStringLiteral("verisign-com-registered.txt"),
            QStringLiteral("gov-fda.gov.txt"),  QStringLiteral("misc-google.com.tr-win1252.txt"),
            QStringLiteral("misc-kr-utf8.txt"), QStringLiteral("denic-throttled.txt")};
        for (const QString &name : samples) {
            const QByteArray bytes =
                FakeWhois::readFile(QStringLiteral(LUMBRA_TEST_DATA "/samples/") + name);
            QVERIFY2(!bytes.isEmpty(), qPrintable(name));
            QTest::newRow(qPrintable(name)) << bytes << wholeAnswer(bytes);
        }
    }
    void exactText() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, expected);
        FakeWhois server;
        QVERIFY(server.listen());
        server.answerAndClose(answer);
        Form f;
        f.c.lblTimeOut->setText(QStringLiteral("3"));
        f.start(server, QStringLiteral("example.com"));
        QCOMPARE(f.c.lblStatus->text(), QStringLiteral("Connecting .... 127.0.0.1"));
        QCOMPARE(f.text(), block(QStringLiteral("127.0.0.1")));
        QTRY_VERIFY(!f.running());
        QCOMPARE(f.text(), block(QStringLiteral("127.0.0.1")) + expected);
        QCOMPARE(server.requests(), QList<QByteArray>{"example.com\r\n"});
        QCOMPARE(f.c.lblStatus->text(), QString());
        QCOMPARE(f.c.lblTimeOut->text(), QString());
        QVERIFY(f.c.imgStatus->isHidden());
        QCOMPARE(f.c.Winsock1->State(), int(Winsock::sckClosed));
        QCOMPARE(f.query->intSeconds, qint16(110));
    }

    void connectedStatus() {
        FakeWhois server;
        QVERIFY(server.listen());
        server.staySilent();
        Form f;
        f.start(server);
        QTRY_COMPARE(f.c.lblStatus->text(), QStringLiteral("Connected to 127.0.0.1"));
        f.query->intSeconds = 5;
        QTRY_COMPARE(server.requests().size(), 1);
        QVERIFY(f.running());
    }

    // Every byte value arrives exactly once and in order, under random pieces and pauses.
    void everyByteInRandomPieces_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 100; seed < 120; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void everyByteInRandomPieces() {
        QFETCH(quint32, seed);
        QByteArray answer;
        for (int r = 0; r < 3; ++r)
            for (int b = 0; b < 256; ++b)
                answer.append(char(b));
        FakeWhois server;
        QVERIFY(server.listen());
        server.answerInPieces(answer, seed, 1 + int(seed % 97), int(seed % 3));
        Form f;
        f.start(server);
        QTRY_VERIFY_WITH_TIMEOUT(!f.running(), 20000);
        QCOMPARE(f.text(), block(QStringLiteral("127.0.0.1")) + wholeAnswer(answer));
    }

    // One frame per arrival, 0 1 2 3 0 ..., continuing across queries.
    void framesAcrossQueries() {
        Form f;
        QCOMPARE(f.query->intFrame, qint16(0));
        const QList<int> pieces = {3, 2};
        for (int count : pieces) {
            FakeWhois server;
            QVERIFY(server.listen());
            server.staySilent();
            f.start(server);
            QTRY_COMPARE(server.requests().size(), 1);
            for (int i = 0; i < count; ++i) {
                const QByteArray piece = QByteArray("piece") + QByteArray::number(i) + '.';
                server.lastSocket()->write(piece);
                // the next piece only after this one was taken in: one notification each
                QTRY_VERIFY(f.text().endsWith(QString::fromLatin1(piece)));
            }
            FakeWhois::closeFromServer(server.lastSocket());
            QTRY_VERIFY(!f.running());
        }
        QCOMPARE(f.framesShown, (QList<int>{0, 1, 2, 3, 0}));
        QCOMPARE(f.query->intFrame, qint16(1));
    }

    // Every Search shows the status picture again, hidden as the last query ended; the next data
    // then shows its frame there.
    void searchShowsStatusPicture() {
        FakeWhois server;
        QVERIFY(server.listen());
        Form f;
        f.c.Winsock1->setTestPort(server.port());
        f.setServers({server.host()});
        f.c.txtSearchText->setText(QStringLiteral("q"));
        server.answerAndClose("first");
        f.query->btnSearch_Click();
        QTRY_VERIFY(!f.running());
        QVERIFY(f.c.imgStatus->isHidden());

        server.staySilent();
        f.c.imgStatus->SetPicture(QPixmap());
        f.query->btnSearch_Click();
        QVERIFY(!f.c.imgStatus->isHidden());
        QTRY_COMPARE(server.requests().size(), 2);
        server.lastSocket()->write("x");
        QTRY_VERIFY(!f.c.imgStatus->Picture().isNull());
        QVERIFY(!f.c.imgStatus->isHidden());
        QCOMPARE(f.framesShown, (QList<int>{0, 1}));
    }

    void frameIndexOutOfRange_data() {
        QTest::addColumn<int>("start");
        QTest::newRow("4") << 4;
        QTest::newRow("100") << 100;
        QTest::newRow("-1") << -1;
        QTest::newRow("min") << int(std::numeric_limits<qint16>::min());
    }
    void frameIndexOutOfRange() {
        QFETCH(int, start);
        FakeWhois server;
        QVERIFY(server.listen());
        server.answerAndClose("x");
        Form f;
        f.query->intFrame = qint16(start);
        f.start(server);
        QTRY_VERIFY(!f.running());
        QCOMPARE(f.framesShown, QList<int>{0});
        QCOMPARE(f.query->intFrame, qint16(1));
    }

    void requestIsTheTextGivenAtStart() {
        FakeWhois server;
        QVERIFY(server.listen());
        server.answerAndClose("ok");
        Form f;
        f.c.txtSearchText->setText(QStringLiteral("first"));
        f.start(server, f.c.txtSearchText->text());
        f.c.txtSearchText->setText(QStringLiteral("edited"));
        QTRY_VERIFY(!f.running());
        QCOMPARE(server.requests(), QList<QByteArray>{"first\r\n"});
    }

    // A new query closes the old connection first; nothing of the old one enters afterwards.
    void newQueryWhileConnected() {
        FakeWhois flood;
        QVERIFY(flood.listen());
        QTimer pump;
        flood.setResponder([&pump](QTcpSocket *s, const QByteArray &) {
            QObject::connect(&pump, &QTimer::timeout, s, [s] { s->write(QByteArray(8192, 'F')); });
            pump.start(0);
        });
        FakeWhois next;
        QVERIFY(next.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
        next.answerInPieces("second answer\n", 7, 3, 2);
        Form f;
        f.start(flood);
        QTRY_VERIFY(f.text().endsWith(QLatin1Char('F')));
        const QString before = f.text();
        f.c.Winsock1->setTestPort(next.port());
        f.query_start(QStringLiteral("again"), QStringLiteral("127.0.0.2"));
        QCOMPARE(f.text(), before + block(QStringLiteral("127.0.0.2")));
        QTRY_COMPARE(flood.closedByClient(), 1);
        QTRY_VERIFY(!f.running());
        pump.stop();
        QCOMPARE(f.text(),
                 before + block(QStringLiteral("127.0.0.2")) + QStringLiteral("second answer\r\n"));
    }

    // The count shows 1 to 10; the eleventh tick ends the query.
    void silentServerEndsOnEleventhTick() {
        FakeWhois server;
        QVERIFY(server.listen());
        server.staySilent();
        Form f;
        f.start(server);
        QTRY_COMPARE(server.requests().size(), 1);
        for (int tick = 1; tick <= 10; ++tick) {
            f.query->Timer1_Timer();
            QCOMPARE(f.c.lblTimeOut->text(), QString::number(tick));
            QVERIFY(f.running());
        }
        QCOMPARE(f.c.lblStatus->text(), QStringLiteral("Connected to 127.0.0.1"));
        f.query->Timer1_Timer();
        QVERIFY(!f.running());
        QCOMPARE(f.c.lblTimeOut->text(), QString());
        QCOMPARE(f.c.lblStatus->text(), QString());
        QVERIFY(f.c.imgStatus->isHidden());
        QCOMPARE(f.c.Winsock1->State(), int(Winsock::sckClosed));
        QCOMPARE(f.query->intSeconds, qint16(11));
        QTRY_COMPARE(server.closedByClient(), 1);
    }

    // The timeout never stays below 10, whether the field is left or a tick reads it.
    void minimumTimeOut_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("after");
        QTest::addColumn<double>("value");
        QTest::newRow("5") << "5 "
                           << "10" << 10.0;
        QTest::newRow("09") << "09"
                            << "10" << 10.0;
        QTest::newRow("partial 2") << "2 "
                                   << "10" << 10.0;
        QTest::newRow("blank then 9") << " 9"
                                      << "10" << 10.0;
        QTest::newRow("emptied") << "  "
                                 << "10" << 10.0;
        QTest::newRow("10") << "10"
                            << "10" << 10.0;
        QTest::newRow("25") << "25"
                            << "25" << 25.0;
        QTest::newRow("99") << "99"
                            << "99" << 99.0;
    }
    void minimumTimeOut() {
        QFETCH(QString, typed);
        QFETCH(QString, after);
        QFETCH(double, value);
        Form leaving;
        leaving.c.mtxtTimeOut->SetText(typed);
        QCOMPARE(leaving.c.mtxtTimeOut->Text(), typed);
        leaving.query->mtxtTimeOut_Validate();
        QCOMPARE(leaving.c.mtxtTimeOut->Text(), after);
        QCOMPARE(leaving.query->timeOut(), value);

        Form ticking;
        ticking.c.mtxtTimeOut->SetText(typed);
        ticking.query->Timer1_Timer();
        QCOMPARE(ticking.c.mtxtTimeOut->Text(), after);
    }

    void readNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("value");
        QTest::newRow("10") << "10" << true << 10.0;
        QTest::newRow("5 trailing") << "5 " << true << 5.0;
        QTest::newRow("5 leading") << " 5" << true << 5.0;
        QTest::newRow("09") << "09" << true << 9.0;
        QTest::newRow("blanks") << "  " << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
    }
    void readNumber() {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(double, value);
        const auto n = QueryForm::readNumber(text);
        QCOMPARE(n.has_value(), isNumber);
        if (isNumber)
            QCOMPARE(*n, value);
    }

    void dataKeepsQueryAlive() {
        FakeWhois server;
        QVERIFY(server.listen());
        server.staySilent();
        Form f;
        f.start(server);
        QTRY_COMPARE(server.requests().size(), 1);
        for (int round = 0; round < 4; ++round) {
            for (int tick = 0; tick < 8; ++tick)
                f.query->Timer1_Timer();
            server.lastSocket()->write("x");
            QTRY_COMPARE(f.query->intSeconds, qint16(0));
        }
        QVERIFY(f.running()); // 32 ticks in all, never 11 in a row
        for (int tick = 0; tick < 11; ++tick)
            f.query->Timer1_Timer();
        QVERIFY(!f.running());
        QCOMPARE(f.text(), block(QStringLiteral("127.0.0.1")) + QStringLiteral("xxxx"));
    }

    void inputChecks_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("all");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("no server") << ""
                                   << "x" << false << "A WHOIS Server must be entered!"
                                   << "server";
        QTest::newRow("no server, sweep") << ""
                                          << "x" << true << "A WHOIS Server must be entered!"
                                          << "server";
        QTest::newRow("neither") << ""
                                 << "" << false << "A WHOIS Server must be entered!"
                                 << "server";
        QTest::newRow("no query") << "127.0.0.1"
                                  << "" << false << "Please enter a searchstring!"
                                  << "query";
        QTest::newRow("no query, sweep") << "127.0.0.1"
                                         << "" << true << "Please enter a searchstring!"
                                         << "query";
    }
    void inputChecks() {
        QFETCH(QString, server);
        QFETCH(QString, query);
        QFETCH(bool, all);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        Form f;
        f.setServers({QStringLiteral("127.0.0.1")});
        f.c.cmbWhoisServer->setEditText(server);
        f.c.txtSearchText->setText(query);
        f.c.chkAll->setChecked(all);
        f.c.txtSearchResult->SetText(QStringLiteral("old"));
        f.window.show();
        QApplication::setActiveWindow(&f.window);
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.c.chkAll->setFocus();
        f.query->btnSearch_Click();
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(f.messages.first().first, message);
        QCOMPARE(f.messages.first().second, QStringLiteral("Error"));
        QWidget *expected = focus == QLatin1String("server")
                                ? static_cast<QWidget *>(f.c.cmbWhoisServer)
                                : f.c.txtSearchText;
        QTRY_VERIFY(expected->hasFocus());
        QCOMPARE(f.text(), QStringLiteral("old"));
        QVERIFY(!f.running());
        QCOMPARE(f.c.Winsock1->State(), int(Winsock::sckClosed));
    }

    // Blanks pass the emptiness checks and are used unchanged.
    void blanksAreNotEmpty() {
        FakeWhois server;
        QVERIFY(server.listen());
        server.answerAndClose("ok");
        Form f;
        f.c.Winsock1->setTestPort(server.port());
        f.setServers({});
        f.c.cmbWhoisServer->setEditText(QStringLiteral(" 127.0.0.1 "));
        f.c.txtSearchText->setText(QStringLiteral("  "));
        f.query->btnSearch_Click();
        QVERIFY(f.messages.isEmpty());
        QTRY_VERIFY(!f.running());
        QCOMPARE(server.requests(), QList<QByteArray>{"  \r\n"});
        QCOMPARE(f.text(), block(QStringLiteral(" 127.0.0.1 ")) + QStringLiteral("ok"));
    }

    // Eight unreachable servers: 8 x 11 ticks, the count running 1 to 10 for each in turn.
    void sweepOverUnreachableServers() {
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            closedPort = probe.serverPort();
        }
        Form f;
        f.c.Winsock1->setTestPort(closedPort);
        QStringList servers;
        for (int i = 1; i <= 8; ++i)
            servers << QStringLiteral("127.0.0.%1").arg(i);
        f.setServers(servers);
        f.c.cmbWhoisServer->setEditText(QStringLiteral("typed.example")); // not a list entry
        f.c.txtSearchText->setText(QStringLiteral("q"));
        f.c.chkAll->setChecked(true);
        f.c.Timer1->setInterval(2);
        QStringList counts;
        connect(f.c.Timer1, &QTimer::timeout, &f.window, [&] { counts << f.c.lblTimeOut->text(); });
        f.query->btnSearch_Click();
        QStringList expected;
        for (int s = 0; s < 8; ++s) {
            for (int i = 1; i <= 10; ++i)
                expected << QString::number(i);
            expected << QString();
        }
        QCOMPARE(counts, expected);
        QString text;
        for (const QString &s : servers)
            text += block(s);
        QCOMPARE(f.text(), text);
        QVERIFY(!f.running());
    }

    // Each server gets the query text as it stands when its turn comes.
    void sweepReadsQueryAfresh_data() {
        QTest::addColumn<QString>("changeTo");
        QTest::newRow("emptied") << "";
        QTest::newRow("changed") << "other";
    }
    void sweepReadsQueryAfresh() {
        QFETCH(QString, changeTo);
        ServerSet set;
        QVERIFY(set.listen(3));
        Form f;
        for (int i = 0; i < 3; ++i)
            set[i].answerAndClose("answer " + QByteArray::number(i + 1) + "\n");
        set[0].setResponder([&](QTcpSocket *s, const QByteArray &) {
            f.c.txtSearchText->setText(changeTo);
            s->write("answer 1\n");
            FakeWhois::closeFromServer(s);
        });
        f.c.Winsock1->setTestPort(set.port);
        f.setServers(set.hosts);
        f.c.txtSearchText->setText(QStringLiteral("first"));
        f.c.chkAll->setChecked(true);
        f.query->btnSearch_Click(); // returns when the sweep is done
        const QByteArray later = changeTo.toLatin1() + "\r\n";
        QCOMPARE(set[0].requests(), QList<QByteArray>{"first\r\n"});
        QCOMPARE(set[1].requests(), QList<QByteArray>{later});
        QCOMPARE(set[2].requests(), QList<QByteArray>{later});
        QString text;
        for (int i = 0; i < 3; ++i)
            text += block(set.hosts[i]) + QStringLiteral("answer %1\r\n").arg(i + 1);
        QCOMPARE(f.text(), text);
        QVERIFY(!f.query->sweeping());
    }

    // Lowering the timeout below the count ends the wait at once: the next server is asked.
    void loweringTimeOutMovesSweepOn() {
        ServerSet set;
        QVERIFY(set.listen(2));
        set[0].setResponder([](QTcpSocket *, const QByteArray &) {});
        set[1].answerAndClose("two");
        Form f;
        f.c.Winsock1->setTestPort(set.port);
        f.setServers(set.hosts);
        f.c.txtSearchText->setText(QStringLiteral("q"));
        f.c.chkAll->setChecked(true);
        set[0].setResponder([&](QTcpSocket *, const QByteArray &) {
            for (int i = 0; i < 3; ++i)
                f.query->Timer1_Timer();
            f.c.mtxtTimeOut->SetText(QStringLiteral("1")); // "1 ", on the way to "15"
        });
        f.query->btnSearch_Click();
        QCOMPARE(set[1].requests().size(), 1);
        QTRY_COMPARE(set[0].closedByClient(), 1);
        QCOMPARE(f.c.mtxtTimeOut->Text(), QStringLiteral("10"));
        QCOMPARE(f.text(), block(set.hosts[0]) + block(set.hosts[1]) + QStringLiteral("two"));
    }

    void searchWhileSingleSearchRuns() {
        FakeWhois silent;
        QVERIFY(silent.listen());
        silent.staySilent();
        Form f;
        f.c.Winsock1->setTestPort(silent.port());
        f.setServers({QStringLiteral("127.0.0.1")});
        f.c.txtSearchText->setText(QStringLiteral("q"));
        f.query->btnSearch_Click();
        QTRY_COMPARE(silent.requests().size(), 1);
        f.query->btnSearch_Click();
        QCOMPARE(f.text(), block(QStringLiteral("127.0.0.1")));
        QTRY_COMPARE(silent.closedByClient(), 1);
        QTRY_COMPARE(silent.requests().size(), 2);
    }

    // A Search during a sweep's wait runs inside it; the outer sweep then goes on.
    void searchNestedInSweep() {
        ServerSet set;
        QVERIFY(set.listen(3));
        set[1].answerAndClose("B");
        set[2].answerAndClose("C");
        Form f;
        f.c.Winsock1->setTestPort(set.port);
        f.setServers({set.hosts[0], set.hosts[1]});
        f.c.txtSearchText->setText(QStringLiteral("q"));
        f.c.chkAll->setChecked(true);
        set[0].setResponder([&](QTcpSocket *, const QByteArray &) {
            // The user unticks "all", types another server and presses Search.
            f.c.chkAll->setChecked(false);
            f.c.cmbWhoisServer->setEditText(set.hosts[2]);
            QTimer::singleShot(0, &f.window, [&] { f.query->btnSearch_Click(); });
        });
        f.query->btnSearch_Click();
        QCOMPARE(f.text(), block(set.hosts[2]) + QStringLiteral("C") + block(set.hosts[1]) +
                               QStringLiteral("B"));
        QCOMPARE(set[0].closedByClient(), 1);
    }

    void quickAnswersNeedNoTick() {
        ServerSet set;
        QVERIFY(set.listen(3));
        for (int i = 0; i < 3; ++i)
            set[i].answerAndClose("x");
        Form f;
        f.c.Winsock1->setTestPort(set.port);
        f.setServers(set.hosts);
        f.c.txtSearchText->setText(QStringLiteral("q"));
        f.c.chkAll->setChecked(true);
        QSignalSpy ticks(f.c.Timer1, &QTimer::timeout);
        f.query->btnSearch_Click(); // the timer's hour-long interval never elapses
        QCOMPARE(ticks.size(), 0);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(set[i].requests().size(), 1);
    }
};

QTEST_MAIN(tst_Query)
#include "tst_query.moc"

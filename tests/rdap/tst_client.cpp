// The RDAP client against a loopback HTTP server: what reaches the text when the answer is too
// large, redirected too often, broken off or labelled otherwise, and when finished comes.
#include "rdap/client.h"
#include "rdapvalues.h"

#include "fakehttp.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

namespace {

const QByteArray Answer = R"({"objectClassName": "entity", "handle": "X-1"})";

QString rendered(const QByteArray &body) {
    return rdapvalues::textOf(rdap::renderAnswer, body).value_or(QString());
}

} // namespace

class TestClient : public QObject {
    Q_OBJECT

    // Asks the server at its base URL for the entity X-1 and returns the text at the end.
    static QString ask(FakeHttp &http, QString *url = nullptr) {
        rdap::Client client;
        QSignalSpy finished(&client, &rdap::Client::finished);
        const QString base = http.url().toString();
        client.start(base, QStringLiteral("X-1"));
        if (!finished.wait(30000) || finished.size() != 1)
            return QStringLiteral("(no end)");
        QCoreApplication::processEvents(); // whatever was queued: nothing more comes
        if (finished.size() != 1)
            return QStringLiteral("(finished twice)");
        if (url)
            *url = base + QStringLiteral("entity/X-1");
        return QString::fromUtf8(finished.at(0).at(0).toByteArray());
    }

private Q_SLOTS:
    // An answer labelled as plain JSON, or not labelled at all, is read as RDAP JSON.
    void mediaTypes_data() {
        QTest::addColumn<QByteArrayList>("headers");
        QTest::newRow("application/rdap+json")
            << QByteArrayList{"Content-Type: application/rdap+json"};
        QTest::newRow("application/json") << QByteArrayList{"Content-Type: application/json"};
        QTest::newRow("no Content-Type") << QByteArrayList();
    }
    void mediaTypes() {
        QFETCH(QByteArrayList, headers);
        FakeHttp http;
        QVERIFY(http.listen());
        http.on("/entity/X-1", {200, "OK", Answer, headers});
        QString url;
        const QString text = ask(http, &url);
        QCOMPARE(text, QStringLiteral("RDAP ") + url + QLatin1Char('\n') + rendered(Answer));
    }

    // Five redirects are followed; a sixth is refused, and its target never asked.
    void redirects_data() {
        QTest::addColumn<int>("hops");
        QTest::addColumn<bool>("followed");
        QTest::newRow("five") << 5 << true;
        QTest::newRow("six") << 6 << false;
    }
    void redirects() {
        QFETCH(int, hops);
        QFETCH(bool, followed);
        FakeHttp http;
        QVERIFY(http.listen());
        const auto hop = [](int i) { return QByteArray("/hop") + QByteArray::number(i); };
        http.redirect("/entity/X-1", http.url(QString::fromLatin1(hop(1).mid(1))));
        for (int i = 1; i < hops; ++i)
            http.redirect(hop(i), http.url(QString::fromLatin1(hop(i + 1).mid(1))));
        http.json(hop(hops), Answer);
        const QString text = ask(http);
        QCOMPARE(http.count(hop(hops)), followed ? 1 : 0);
        if (followed) {
            QVERIFY(text.endsWith(rendered(Answer)));
            QVERIFY(text.startsWith(QStringLiteral("RDAP ") +
                                    http.url(QString::fromLatin1(hop(hops).mid(1))).toString()));
        } else {
            // Qt's word for it, one line, and nothing of an answer.
            QVERIFY(!text.startsWith(QLatin1String("RDAP ")));
            QVERIFY(text.endsWith(QLatin1Char('\n')));
            QCOMPARE(text.count(QLatin1Char('\n')), 1);
        }
    }

    // A body broken off mid-way is shown as it came, not read as JSON, with why the rest is
    // missing on a line of its own.
    void brokenOff() {
        FakeHttp http;
        QVERIFY(http.listen());
        const QByteArray body = QByteArray(R"({"objectClassName": "entity", "remarks": [)") +
                                QByteArray(100000, ' ') + "]}";
        FakeHttp::Response response{200, "OK", body, {"Content-Type: application/rdap+json"}};
        response.pieces = 4;
        response.breakAfter = 50000;
        http.on("/entity/X-1", response);
        QString url;
        const QString text = ask(http, &url);
        const QString head = QStringLiteral("RDAP ") + url + QLatin1Char('\n');
        QVERIFY(text.startsWith(head + QString::fromLatin1(body.left(100))));
        const qsizetype cut = text.lastIndexOf(QLatin1Char('\n'), -2) + 1;
        QVERIFY(cut > head.size() + 100);
        QVERIFY(cut <= head.size() + 50000 + 1);
        QCOMPARE(text.at(cut - 1), QLatin1Char('\n'));
        QVERIFY(text.endsWith(QLatin1Char('\n')));
        QVERIFY(text.sliced(cut).trimmed().size() > 0); // the reason
        QVERIFY(!text.contains(QLatin1String("Object class")));
    }

    // An answer over 64 MiB: the first 64 MiB as they came (no JSON can be whole), then the line
    // that says the rest was not read.
    void largerThanTheCap() {
        FakeHttp http;
        QVERIFY(http.listen());
        QByteArray body = "[\"" + QByteArray(rdap::Client::MaxBody + 100000, 'a') + "\"]";
        FakeHttp::Response response{200, "OK", body, {"Content-Type: application/rdap+json"}};
        response.pieces = 64;
        http.on("/entity/X-1", response);
        rdap::Client client;
        QSignalSpy finished(&client, &rdap::Client::finished);
        client.start(http.url().toString(), QStringLiteral("X-1"));
        QVERIFY(finished.wait(60000));
        const QByteArray text = finished.at(0).at(0).toByteArray();
        const QByteArray head = "RDAP " + http.url(QStringLiteral("entity/X-1")).toEncoded() + '\n';
        const QByteArray tail =
            "\nThe rest of the answer was not read: it is larger than 64 MiB.\n";
        QCOMPARE(text.size(), head.size() + rdap::Client::MaxBody + tail.size());
        QVERIFY(text.startsWith(head + "[\"aaa"));
        QVERIFY(text.endsWith("aaa" + tail));
        body.clear();
        QCoreApplication::processEvents();
        QCOMPARE(finished.size(), 1);
    }

    // An error body is shown as the server sent it, below the status line of the HTTP answer,
    // even where its own errorCode says otherwise.
    void errorCodeAsSent() {
        FakeHttp http;
        QVERIFY(http.listen());
        const QByteArray error = R"({"errorCode": 400, "title": "Bad request",
            "description": ["The handle is malformed."]})";
        http.on("/entity/X-1", {404, "Not Found", error, {"Content-Type: application/rdap+json"}});
        rdap::Client client;
        QSignalSpy finished(&client, &rdap::Client::finished);
        QSignalSpy body(&client, &rdap::Client::answerBody);
        client.start(http.url().toString(), QStringLiteral("X-1"));
        QVERIFY(finished.wait(10000));
        const QByteArray head =
            "RDAP " + http.url(QStringLiteral("entity/X-1")).toEncoded() + "\nHTTP 404 Not Found\n";
        QCOMPARE(finished.at(0).at(0).toByteArray(),
                 head + "Bad request\nThe handle is malformed.\nerrorCode: 400\n");
        // The body as it came, and where the text's rendering of it begins.
        QCOMPARE(body.size(), 1);
        QCOMPARE(body.at(0).at(0).toByteArray(), error);
        QCOMPARE(body.at(0).at(1).value<qsizetype>(), head.size());
    }

    // Whatever the outcome, finished comes from the event loop, never from inside start: the
    // caller may still be setting up when start returns. The bootstrap file fetched for the first
    // query is kept, so the second query's "not covered" is known at once.
    void finishedNeverInsideStart() {
        FakeHttp iana;
        QVERIFY(iana.listen());
        iana.on("/dns.json", {200,
                              "OK",
                              R"({"services": [[["net"], ["https://n.example/"]]]})",
                              {"Content-Type: application/json"}});
        rdap::Client client;
        client.setBootstrapBase(iana.url());
        bool inStart = false;
        int early = 0;
        connect(&client, &rdap::Client::finished, this, [&] { early += inStart; });
        QSignalSpy finished(&client, &rdap::Client::finished);
        QSignalSpy bodies(&client, &rdap::Client::answerBody);
        int asked = 0;
        for (const char *query : {"a.example", "b.example", "c.example"}) {
            inStart = true;
            client.start(QStringLiteral("rdap"), QString::fromLatin1(query));
            inStart = false;
            ++asked;
            QTRY_COMPARE(finished.size(), asked);
        }
        QCOMPARE(early, 0);
        QCOMPARE(finished.size(), 3);
        QCOMPARE(iana.count("/dns.json"), 1);
        QCOMPARE(bodies.size(), 0); // a bootstrap file is no answer
        QCOMPARE(finished.at(2).at(0).toByteArray(),
                 QByteArray("No RDAP service for \".example\" in IANA's dns.json\n"));

        // An abort right after start leaves nothing to come.
        client.start(QStringLiteral("rdap"), QStringLiteral("d.example"));
        client.abort();
        QCoreApplication::processEvents();
        QCOMPARE(finished.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestClient)
#include "tst_client.moc"

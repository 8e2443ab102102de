// The rules of "auto" as plain functions: which service a query goes to when IANA's bootstrap
// names none, where IANA's WHOIS answer points, and which registrar the registry's answer
// leads to, with the loops and the referrals that are refused.
#include "rdap/lookup.h"
#include "rdap/rdap.h"

#include <QFile>
#include <QTest>

namespace {

QByteArray readData(const QString &path) {
    QFile file(QStringLiteral(LUMBRA_TEST_DATA "/") + path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test data %s", qPrintable(path));
    return file.readAll();
}

// "RDAP <base>", "WHOIS <server> <query>" or "none: <line>".
QString describe(const lookup::Ask &ask) {
    switch (ask.way) {
    case lookup::Ask::Way::Rdap:
        return QStringLiteral("RDAP ") + ask.base.toString();
    case lookup::Ask::Way::Whois:
        return QStringLiteral("WHOIS %1 %2").arg(ask.server, ask.query);
    case lookup::Ask::Way::None:
        break;
    }
    return QStringLiteral("none: ") + ask.line;
}

// Verisign's RDAP answer for google.com as the window shows it, its related link to the
// registrar replaced by `link` (a whole "links" member's value).
QString verisignWith(const QByteArray &link) {
    QByteArray body = readData(QStringLiteral("rdap/answers/domain_com_google.com_verisign.json"));
    body.replace("https://rdap.markmonitor.com/rdap/domain/GOOGLE.COM", link);
    QByteArray text;
    rdap::renderAnswer(body, text);
    return QString::fromUtf8(text);
}

} // namespace

class TestLookup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void choices_data() {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("query");
        // registrar: "https://..." the base URL the registry's RDAP answer came from, else the
        // registry's WHOIS server.
        QTest::addColumn<QString>("registry");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("expected");

        const QString iana = QStringLiteral("% IANA WHOIS server\n\ndomain:       IO\n\n");
        const QString whoisCom =
            QString::fromLatin1(readData(QStringLiteral("samples/verisign-com-registered.txt")));
        const QString registrarLine = QStringLiteral("Domain Name: EXAMPLE.COM\n"
                                                     "Registrar WHOIS Server: %1\n");
        const struct {
            const char *name, *step, *query, *registry;
            QString answer;
            const char *expected;
        } table[] = {
            // A top-level domain itself is asked at IANA's own RDAP service.
            {"bare TLD", "tld", "io", "", {}, "io"},
            {"bare TLD, uppercase, trailing dot, blanks", "tld", " IO. ", "", {}, "io"},
            {"bare TLD, A-label", "tld", "xn--p1ai", "", {}, "xn--p1ai"},
            {"a domain is no bare TLD", "tld", "example.io", "", {}, ""},
            {"digits are no TLD", "tld", "a1", "", {}, ""},
            {"a handle is no TLD", "tld", "GOGL-ARIN", "", {}, ""},
            {"A-label prefix alone", "tld", "xn--", "", {}, ""},

            // IANA's bootstrap names no service: the own table, for a domain; else WHOIS.
            {"own table: .io",
             "without",
             "example.io",
             "",
             {},
             "RDAP https://rdap.identitydigital.services/rdap/"},
            {"own table: .de, any case",
             "without",
             "DENIC.DE",
             "",
             {},
             "RDAP https://rdap.denic.de/"},
            {"own table: .co", "without", "nic.co", "", {}, "RDAP https://rdap.registry.co/co/"},
            {"own table: longest suffix",
             "without",
             "a.b.com.gl",
             "",
             {},
             "RDAP https://rdap.centralnic.com/com.gl/"},
            {"not in the own table: IANA asked the TLD",
             "without",
             "europa.eu",
             "",
             {},
             "WHOIS whois.iana.org eu"},
            {"an address: IANA asked the query",
             "without",
             " 192.0.2.1 ",
             "",
             {},
             "WHOIS whois.iana.org 192.0.2.1"},
            {"an AS number: IANA asked the query",
             "without",
             "AS64496",
             "",
             {},
             "WHOIS whois.iana.org AS64496"},

            // Where IANA's answer points.
            {"refer:", "iana", "example.io", "",
             iana + QStringLiteral("refer:        whois.nic.io\n"),
             "WHOIS whois.nic.io example.io"},
            {"refer: before whois:", "iana", "example.io", "",
             iana + QStringLiteral("whois:        whois.b.example\nrefer: whois.a.example\n"),
             "WHOIS whois.a.example example.io"},
            {"whois: without refer:", "iana", "example.io", "",
             iana + QStringLiteral("whois:        whois.nic.io\n"),
             "WHOIS whois.nic.io example.io"},
            {"whois:// with port 43", "iana", "example.io", "",
             QStringLiteral("refer: whois://whois.nic.io:43\n"), "WHOIS whois.nic.io example.io"},
            {"the text goes on as typed", "iana", "m\u00fcller.de", "",
             QStringLiteral("refer: whois.denic.de\n"), "WHOIS whois.denic.de m\u00fcller.de"},
            {"an address", "iana", "192.0.2.1", "", QStringLiteral("refer: whois.arin.net\n"),
             "WHOIS whois.arin.net 192.0.2.1"},
            {"none named", "iana", "x.eh", "",
             QString::fromLatin1(readData(QStringLiteral("samples/iana-tld-not-assigned.txt"))),
             "none: No WHOIS server for \".eh\" in IANA's answer"},
            {"none named, an address", "iana", "192.0.2.1", "", iana,
             "none: No WHOIS server for 192.0.2.1 in IANA's answer"},
            {"empty refer:", "iana", "x.io", "", QStringLiteral("refer:\n"),
             "none: No WHOIS server for \".io\" in IANA's answer"},
            {"refer: 0.0.0.0", "iana", "x.io", "", QStringLiteral("refer: 0.0.0.0\n"),
             "none: No WHOIS server for \".io\" in IANA's answer"},
            {"refer: localhost", "iana", "x.io", "", QStringLiteral("refer: localhost\n"),
             "none: No WHOIS server for \".io\" in IANA's answer"},
            {"refer: 10,000 characters", "iana", "x.io", "",
             QStringLiteral("refer: ") + QString(10000, QLatin1Char('a')) +
                 QStringLiteral(".example\n"),
             "none: No WHOIS server for \".io\" in IANA's answer"},
            {"refer: another scheme", "iana", "x.io", "",
             QStringLiteral("refer: file:///etc/passwd\n"),
             "none: No WHOIS server for \".io\" in IANA's answer"},
            {"refer: itself", "iana", "x.io", "", QStringLiteral("refer: WHOIS.IANA.ORG.\n"),
             "none: No WHOIS server for \".io\" in IANA's answer"},
            {"binary", "iana", "x.io", "", QString::fromLatin1("\x01refer\x00: \xff\xfe", 12),
             "none: No WHOIS server for \".io\" in IANA's answer"},

            // The registrar, by the registry's RDAP link or WHOIS referral.
            {"RDAP related link", "registrar", "google.com", "https://rdap.verisign.com/com/v1/",
             verisignWith("https://rdap.markmonitor.com/rdap/domain/GOOGLE.COM"),
             "RDAP https://rdap.markmonitor.com/rdap/"},
            {"RDAP link http from http", "registrar", "google.com", "http://127.0.0.1:8080/",
             verisignWith("http://127.0.0.1:8081/rdap/domain/GOOGLE.COM"),
             "RDAP http://127.0.0.1:8081/rdap/"},
            {"RDAP link https to http refused", "registrar", "google.com",
             "https://rdap.verisign.com/com/v1/",
             verisignWith("http://rdap.markmonitor.com/rdap/domain/GOOGLE.COM"), "none: "},
            {"RDAP link to the registry itself", "registrar", "google.com",
             "https://rdap.verisign.com/com/v1/",
             verisignWith("https://RDAP.verisign.com:443/other/domain/GOOGLE.COM"), "none: "},
            {"RDAP link with user info", "registrar", "google.com",
             "https://rdap.verisign.com/com/v1/",
             verisignWith("https://rdap.markmonitor.com@evil.example/rdap/domain/GOOGLE.COM"),
             "none: "},
            {"RDAP link ftp:", "registrar", "google.com", "https://rdap.verisign.com/com/v1/",
             verisignWith("ftp://rdap.markmonitor.com/rdap/domain/GOOGLE.COM"), "none: "},
            {"RDAP link to 0.0.0.0", "registrar", "google.com", "https://rdap.verisign.com/com/v1/",
             verisignWith("https://0.0.0.0/rdap/domain/GOOGLE.COM"), "none: "},
            {"RDAP link to localhost", "registrar", "google.com",
             "https://rdap.verisign.com/com/v1/",
             verisignWith("https://localhost/rdap/domain/GOOGLE.COM"), "none: "},
            {"RDAP link only nested", "registrar", "google.com",
             "https://rdap.verisign.com/com/v1/",
             QStringLiteral("Name: GOOGLE.COM\n  Link: related "
                            "https://rdap.markmonitor.com/rdap/domain/GOOGLE.COM "
                            "(application/rdap+json)\n"),
             "none: "},
            {"WHOIS Registrar WHOIS Server:", "registrar", "google.com", "whois.verisign-grs.com",
             whoisCom, "WHOIS whois.markmonitor.com google.com"},
            {"WHOIS Registrar Whois:", "registrar", "example.ws", "whois.website.ws",
             QStringLiteral("Registrar Whois: whois.registrar.ws\n"),
             "WHOIS whois.registrar.ws example.ws"},
            {"WHOIS registrar is the registry", "registrar", "example.com",
             "whois.verisign-grs.com", registrarLine.arg(QStringLiteral("Whois.Verisign-GRS.com.")),
             "none: "},
            {"WHOIS registrar is IANA", "registrar", "example.com", "whois.verisign-grs.com",
             registrarLine.arg(QStringLiteral("whois.iana.org")), "none: "},
            {"WHOIS registrar on another scheme", "registrar", "example.com",
             "whois.verisign-grs.com", registrarLine.arg(QStringLiteral("file:///etc/passwd")),
             "none: "},
            {"WHOIS registrar with user info", "registrar", "example.com", "whois.verisign-grs.com",
             registrarLine.arg(QStringLiteral("whois://user@whois.example.net")), "none: "},
            {"WHOIS registrar localhost", "registrar", "example.com", "whois.verisign-grs.com",
             registrarLine.arg(QStringLiteral("localhost")), "none: "},
            {"WHOIS registrar 0.0.0.0", "registrar", "example.com", "whois.verisign-grs.com",
             registrarLine.arg(QStringLiteral("0.0.0.0")), "none: "},
            {"no registrar for an address", "registrar", "192.0.2.1", "whois.arin.net",
             registrarLine.arg(QStringLiteral("whois.example.net")), "none: "},
        };
        for (const auto &row : table)
            QTest::newRow(row.name) << QString::fromLatin1(row.step) << QString::fromUtf8(row.query)
                                    << QString::fromLatin1(row.registry) << row.answer
                                    << QString::fromUtf8(row.expected);
    }
    void choices() {
        QFETCH(QString, step);
        QFETCH(QString, query);
        QFETCH(QString, registry);
        QFETCH(QString, answer);
        QFETCH(QString, expected);
        const QString &typed = query;
        const rdap::Query q = rdap::queryFor(query);
        if (step == QLatin1String("tld")) {
            QCOMPARE(lookup::topLevelDomain(query), expected);
        } else if (step == QLatin1String("without")) {
            QCOMPARE(describe(lookup::withoutBootstrap(q, typed)), expected);
        } else if (step == QLatin1String("iana")) {
            QCOMPARE(describe(lookup::referredByIana(q, typed, answer)), expected);
        } else {
            lookup::Ask asked;
            QUrl answeredBy;
            if (registry.startsWith(QLatin1String("http"))) {
                asked.way = lookup::Ask::Way::Rdap;
                asked.base = QUrl(registry);
                answeredBy = QUrl(registry + QStringLiteral("domain/") + q.key);
            } else {
                asked.way = lookup::Ask::Way::Whois;
                asked.server = registry;
            }
            lookup::Ask iana;
            iana.way = lookup::Ask::Way::Whois;
            iana.server = QString(lookup::IanaWhois);
            const QStringList servers = {lookup::serverKey(iana), lookup::serverKey(asked)};
            QCOMPARE(describe(lookup::registrar(q, typed, asked, answeredBy, answer, servers)),
                     expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestLookup)
#include "tst_lookup.moc"

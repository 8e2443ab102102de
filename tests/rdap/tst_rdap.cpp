// The RDAP library's plain functions: what a query asks and where, which bootstrap service
// answers it, and how an answer reads as text (recorded answers and hostile shapes).
#include "rdap/rdap.h"
#include "rdapvalues.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

namespace {

const QString Data = QStringLiteral(LUMBRA_TEST_DATA "/rdap/");

QByteArray readData(const QString &path) {
    QFile file(Data + path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test data %s", qPrintable(path));
    return file.readAll();
}

// A file below tests/data/rdap/, or the JSON text itself.
QByteArray body(const QString &fileOrJson) {
    return fileOrJson.endsWith(QLatin1String(".json")) ? readData(fileOrJson) : fileOrJson.toUtf8();
}

} // namespace

class TestRdap : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void request_data();
    void request();
    void bootstrap_data();
    void bootstrap();
    void expected_data();
    void expected();
    void render_data();
    void render();
    void lineEnds_data();
    void lineEnds();
    void longAnswerWhole();
    void statusLine();
};

void TestRdap::request_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("form");
    QTest::addColumn<QByteArray>("url");
    const QString base = QStringLiteral("https://r.example/rdap");
    const int none = int(rdap::ServerForm::None);
    const int bootstrap = int(rdap::ServerForm::Bootstrap);
    const int url = int(rdap::ServerForm::BaseUrl);
    const auto row = [&](const char *name, const char *query, const char *path) {
        QTest::newRow(name) << base << QString::fromUtf8(query) << url
                            << QByteArray("https://r.example/rdap/") + path;
    };
    row("ipv4", "192.0.2.1", "ip/192.0.2.1");
    row("ipv4 prefix, blanks", " 192.0.2.0/24 ", "ip/192.0.2.0/24");
    row("ipv6 upper case", "2001:DB8::1", "ip/2001:db8::1");
    row("ipv6 prefix", "2001:db8::/32", "ip/2001:db8::/32");
    row("ipv4 prefix too long", "192.0.2.0/33", "entity/192.0.2.0%2F33");
    row("ipv6 prefix too long", "2001:db8::/129", "entity/2001%3Adb8%3A%3A%2F129");
    row("ipv6 zone", "fe80::1%eth0", "entity/fe80%3A%3A1%25eth0");
    row("ipv4 leading zero", "192.0.2.01", "entity/192.0.2.01");
    row("AS", "AS15169", "autnum/15169");
    row("as lower case", "as0015169", "autnum/15169");
    row("digits", "0", "autnum/0");
    row("largest AS number", "4294967295", "autnum/4294967295");
    row("past the AS numbers", "4294967296", "entity/4294967296");
    row("domain, trailing dot, upper case", "WWW.Example.COM.", "domain/www.example.com");
    row("ACE domain", "xn--strae-oqa.de", "domain/xn--strae-oqa.de");
    row("two trailing dots", "example.com..", "entity/example.com..");
    row("one label", "localhost", "entity/localhost");
    row("handle", "GOGL-ARIN", "entity/GOGL-ARIN");
    row("handle to encode", "A B/C?#%", "entity/A%20B%2FC%3F%23%25");
    row("non-ASCII handle", "\xC3\x9C-1", "entity/%C3%9C-1");

    const auto server = [&](const char *name, const char *text, int form, const char *request) {
        QTest::newRow(name) << QString::fromUtf8(text) << QStringLiteral("AS1") << form
                            << QByteArray(request);
    };
    server("no trailing slash", "https://rdap.arin.net/registry", url,
           "https://rdap.arin.net/registry/autnum/1");
    server("trailing slash", "https://rdap.arin.net/registry/", url,
           "https://rdap.arin.net/registry/autnum/1");
    server("scheme any case, blanks, slashes", " HTTP://RDAP.Example:8080/rdap// ", url,
           "http://rdap.example:8080/rdap/autnum/1");
    server("host only", "https://rdap.example", url, "https://rdap.example/autnum/1");
    server("query and fragment dropped", "https://r.example/rdap?x=1#f", url,
           "https://r.example/rdap/autnum/1");
    server("bootstrap", " RDap ", bootstrap, "");
    server("WHOIS server", "whois.arin.net", none, "");
    server("no host", "https:///rdap", none, "");
    server("other scheme", "ftp://r.example/", none, "");
    server("rdap in a word", "rdap.example", none, "");
}

void TestRdap::request() {
    QFETCH(QString, server);
    QFETCH(QString, query);
    QFETCH(int, form);
    QFETCH(QByteArray, url);
    QCOMPARE(int(rdap::serverForm(server)), form);
    const std::optional<QUrl> base = rdap::baseUrl(server);
    QCOMPARE(base.has_value(), !url.isEmpty());
    if (base)
        QCOMPARE(rdap::requestUrl(*base, rdap::queryFor(query)).toEncoded(), url);
}

void TestRdap::bootstrap_data() {
    QTest::addColumn<QString>("registry");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("service"); // empty: not covered, and this the line that says so
    QTest::addColumn<QString>("notCovered");
    const auto row = [](const char *name, const char *registry, const char *query, const char *file,
                        const char *service, const char *line = "") {
        QTest::newRow(name) << QString::fromUtf8(registry) << QString::fromUtf8(query)
                            << QString::fromUtf8(file) << QString::fromUtf8(service)
                            << QString::fromUtf8(line);
    };
    const char *arin = "https://rdap.arin.net/registry/";
    row("com", "bootstrap/dns.json", "google.com", "dns.json", "https://rdap.verisign.com/com/v1/");
    row("TLD not covered", "bootstrap/dns.json", "a.example", "dns.json", "",
        "No RDAP service for \".example\" in IANA's dns.json");
    const char *suffixes = R"({"services": [[["uk"], ["https://uk.example/"]],
        [["CO.UK."], ["https://co-uk.example/"]], [[""], ["https://root.example/"]],
        [["test"], ["http://plain.example/", "https://tls.example/rdap"]],
        [["http"], ["http://one.example/", "http://two.example/"]]]})";
    row("longest label suffix", suffixes, "a.b.co.uk", "dns.json", "https://co-uk.example/");
    row("suffix at a label's edge", suffixes, "xco.uk", "dns.json", "https://uk.example/");
    row("root entry", suffixes, "example.net", "dns.json", "https://root.example/");
    row("https preferred", suffixes, "a.test", "dns.json", "https://tls.example/rdap/");
    row("no https: the first", suffixes, "a.http", "dns.json", "http://one.example/");

    row("ipv4", "bootstrap/ipv4.json", "41.1.2.3", "ipv4.json", "https://rdap.afrinic.net/rdap/");
    const char *v4 = R"({"services": [[["10.0.0.0/8"], ["https://eight.example/"]],
        [["10.1.0.0/16"], ["https://sixteen.example/"]]]})";
    row("longest ipv4 prefix", v4, "10.1.2.3", "ipv4.json", "https://sixteen.example/");
    row("ipv4 prefix inside", v4, "10.2.0.0/16", "ipv4.json", "https://eight.example/");
    row("ipv4 prefix wider than every entry", v4, "10.0.0.0/7", "ipv4.json", "",
        "No RDAP service for 10.0.0.0/7 in IANA's ipv4.json");
    row("ipv6", "bootstrap/ipv6.json", "2001:4860::1", "ipv6.json", arin);
    const char *v6 = R"({"services": [[["2001:db8::/32"], ["https://short.example/"]],
        [["2001:db8:1::/48"], ["https://long.example/"]]]})";
    row("longest ipv6 prefix", v6, "2001:db8:1::/56", "ipv6.json", "https://long.example/");
    row("ipv6 not covered", v6, "2001:db8::/31", "ipv6.json", "",
        "No RDAP service for 2001:db8::/31 in IANA's ipv6.json");

    row("AS range lower edge", "bootstrap/asn.json", "AS36864", "asn.json",
        "https://rdap.afrinic.net/rdap/");
    row("AS range upper edge", "bootstrap/asn.json", "37887", "asn.json",
        "https://rdap.afrinic.net/rdap/");
    row("AS range, next one", "bootstrap/asn.json", "1876", "asn.json", arin);
    row("AS not covered", "bootstrap/asn.json", "4294967295", "asn.json", "",
        "No RDAP service for AS4294967295 in IANA's asn.json");
    row("single AS number", R"({"services": [[["64511", "64512"], ["https://one.example/"]]]})",
        "AS64512", "asn.json", "https://one.example/");

    row("object tag", "bootstrap/object-tags.json", "GOGL-ARIN", "object-tags.json", arin);
    row("tag after the last hyphen, any case", "bootstrap/object-tags.json", "a-arin-Ripe",
        "object-tags.json", "https://rdap.db.ripe.net/");
    row("tag not covered", "bootstrap/object-tags.json", "X-FOO", "object-tags.json", "",
        "No RDAP service for the tag \"FOO\" in IANA's object-tags.json");
    row("no tag", "bootstrap/object-tags.json", "ARIN", "object-tags.json", "",
        "No RDAP service for \"ARIN\" in IANA's object-tags.json: a handle names its registry "
        "by a tag after a hyphen, as GOGL-ARIN");
}

void TestRdap::bootstrap() {
    QFETCH(QString, registry);
    QFETCH(QString, query);
    QFETCH(QString, file);
    QFETCH(QString, service);
    QFETCH(QString, notCovered);
    const rdap::Query asked = rdap::queryFor(query);
    QCOMPARE(rdap::registryFile(rdap::registryFor(asked)), file);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body(registry), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const std::optional<QUrl> found = rdap::serviceFor(document, asked);
    QCOMPARE(found ? found->toString() : QString(), service);
    if (!found)
        QCOMPARE(rdap::notCovered(asked), notCovered);
}

// Every recorded answer against the text beside it, exactly (an error_ one as an error body).
void TestRdap::expected_data() {
    QTest::addColumn<QString>("answer");
    const QStringList answers =
        QDir(Data + QStringLiteral("answers")).entryList({QStringLiteral("*.json")}, QDir::Files);
    QVERIFY(answers.size() >= 19);
    for (const QString &answer : answers)
        QTest::newRow(qPrintable(answer)) << QStringLiteral("answers/") + answer;
}

void TestRdap::expected() {
    QFETCH(QString, answer);
    const QByteArray bytes = readData(answer);
    QByteArray text;
    const bool error = answer.startsWith(QLatin1String("answers/error_"));
    QVERIFY(error ? rdap::renderError(bytes, text) : rdap::renderAnswer(bytes, text));
    const QString expectedFile = Data + answer.chopped(5) + QStringLiteral(".expected.txt");
    if (qEnvironmentVariableIntValue("LUMBRA_WRITE_EXPECTED") == 1) {
        QFile out(expectedFile);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(text);
    }
    QCOMPARE(rdapvalues::missing(QJsonDocument::fromJson(bytes), QString::fromUtf8(text)),
             QStringList());
    QFile file(expectedFile);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(expectedFile));
    const QList<QByteArray> want = file.readAll().split('\n');
    const QList<QByteArray> got = text.split('\n');
    // The first line that differs, rather than two texts of many kilobytes.
    for (qsizetype i = 0; i < std::min(want.size(), got.size()); ++i) {
        if (got.at(i) != want.at(i))
            QFAIL(
                qPrintable(QStringLiteral("line %1:\n  got:      %2\n  expected: %3")
                               .arg(i + 1)
                               .arg(QString::fromUtf8(got.at(i)), QString::fromUtf8(want.at(i)))));
    }
    QCOMPARE(got.size(), want.size());
}

void TestRdap::render_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("error");         // an error body, read by renderError
    QTest::addColumn<QStringList>("lines");  // whole lines the text holds, in this order
    QTest::addColumn<QStringList>("offers"); // what its link lines offer to search on
    const auto row = [](const char *name, const char *answer,
                        std::initializer_list<const char *> lines,
                        std::initializer_list<const char *> offers = {}, bool error = false) {
        QStringList texts;
        for (const char *line : lines)
            texts += QString::fromUtf8(line);
        QStringList bases;
        for (const char *base : offers)
            bases += QString::fromUtf8(base);
        QTest::newRow(name) << QString::fromUtf8(answer) << error << texts << bases;
    };
    row("verisign", "answers/domain_com_google.com_verisign.json",
        {"Domain Name: GOOGLE.COM", "Creation Date: 1997-09-15T04:00:00Z",
         "Registrar: MarkMonitor Inc.", "Registrar IANA ID: 292",
         "Domain Status: client delete prohibited", "Name Server: NS1.GOOGLE.COM",
         "DNSSEC: signedDelegation", "Registrar:", "  Handle: 292", "Object class: domain",
         "Link: related https://rdap.markmonitor.com/rdap/domain/GOOGLE.COM "
         "(application/rdap+json)",
         "RDAP conformance: rdap_level_0"},
        {"https://rdap.markmonitor.com/rdap/"});
    row("markmonitor", "answers/domain_com_google.com_markmonitor.json",
        {"Registrar WHOIS Server: whois.markmonitor.com",
         "Creation Date: 1997-09-15T07:00:00.000+0000",
         "Registry Expiry Date: 2028-09-13T07:00:00.000+0000", "Registrar (work): MarkMonitor Inc.",
         "Registrar Abuse Contact Email (work): abusecomplaints@markmonitor.com",
         "Registrar:", "  Address: 3540 E Longwing Ln, Meridian, ID, 83646, US",
         "Administrative:", "last update: 2019-09-09T15:39:04.000+0000"},
        {});
    row("afnic", "answers/domain_fr_afnic.fr_afnic.json",
        {"DS record: 53080 13 2 EF2DC0C8CF1FDF2994E8C771E0F871949B83AF41A1BF594B484677F5A85A657B"},
        {});
    row("ripe reverse", "answers/domain_reverse_6.0.193.in-addr.arpa_ripe.json", {}, {});
    row("namecheap", "answers/domain_org_bitcoin.org_namecheap.json",
        {"  Phone (voice): tel:+1.6613102107"}, {});
    row("idn", "answers/domain_idn_xn--fo-5ja.example_SYNTHETIC.json",
        {"Unicode Name: f\xC3\xB3o.example"}, {});
    row("arin network", "answers/ip_v4_arin_192.198.0.0.json",
        {"Address range: 192.198.0.0 - 192.198.3.255", "Registrant: Radio Link Internet",
         "  Address: 8162 SW 81st St"},
        {});
    row("arin ipv6", "answers/ip_v6_arin_2001-4860.json", {}, {});
    row("apnic: a related web page", "answers/ip_v4_apnic_1.1.1.0.json", {}, {});
    row("arin AS", "answers/autnum_arin_AS13335.json", {"AS range: 13335 - 13335"}, {});
    row("nameserver", "answers/nameserver_fr_ns1.nic.fr.json",
        {"IPv6 address: 2001:67c:2218:2::4:1"}, {});
    row("error", "answers/error_ripe_501.json",
        {"501 Not Implemented", "Nameserver not supported", "errorCode: 501"}, {}, true);
    row("error code a string", "answers/error_apnic_400.json", {"errorCode: 400"}, {}, true);
    row("wrong types",
        R"({"vcardArray": "v", "events": [1, {"eventAction": 2}], "entities": {"a": "b"},
            "status": "active", "links": [{"href": 1}, "l"], "nameservers": [null],
            "secureDNS": [true], "remarks": [{"title": 5, "description": "d"}],
            "startAddress": "1.2.3.4", "endAddress": {"x": false}})",
        {"events: 1", "events:", "  eventAction: 2", "nameservers: null",
         "endAddress:", "  x: false", "entities:", "  a: b", "links:", "  href: 1", "links: l",
         "Remark:", "  d", "  title: 5", "secureDNS: true", "startAddress: 1.2.3.4",
         "status: active", "vcardArray: v"});
    row("values as written",
        R"({"handle": "A\r\nB", "port43": 1.5, "big": 12345678901234567, "n": [-0.1, 100, 1e20],
            "e": 1e300, "yes": true, "none": null, "odd": "\u0001\u202e<b>x</b>",
            "lone": "a\ud800b",
            "entities": [{"vcardArray": ["vcard", [["tel", {"type": ["work", "voice"],
                "pref": "1"}, "uri", "tel:+1"]]]}]})",
        {"Handle: A", "Handle: B", "Whois Server: 1.5", "Entity:", "  Phone (work, voice): tel:+1",
         "    pref: 1", "big: 12345678901234568", "e: 1e+300", "lone: a\uFFFDb", "n: -0.1",
         "n: 100", "n: 100000000000000000000", "none: null", "odd: \x01\u202e<b>x</b>",
         "yes: true"});
    row("domain head: the registrar's facts, from its own abuse contact or the domain's",
        R"({"objectClassName": "domain", "ldhName": "a.example", "unicodeName": "a.example",
            "status": "active", "secureDNS": {"delegationSigned": false, "zoneSigned": true},
            "events": [{"eventAction": "expiration", "eventDate": "E"},
                       {"eventAction": "registration", "eventDate": "R", "eventActor": "X"},
                       {"eventAction": "transfer", "eventDate": "T"}],
            "entities": [{"objectClassName": "entity", "roles": ["abuse"], "vcardArray":
                ["vcard", [["version", {}, "text", "4.0"], ["email", {}, "text", "a@x"]]]},
              {"objectClassName": "entity", "handle": "7", "roles": ["registrar"],
               "publicIds": [{"type": "IANA Registrar ID", "identifier": 7}],
               "vcardArray": ["vcard", [["version", {"x": "1"}, "text", "4.0"],
                   ["fn", {}, "text", ""], ["url", {}, "uri", "https://r.example"]]]},
              {"objectClassName": "registrant", "roles": ["registrant"], "vcardArray":
                ["vcard", [["org", {"TYPE": "work"}, "text", "O"], ["fn", {}, "text", ""]]]}]})",
        {"Domain Name: a.example", "Registrar URL: https://r.example", "Creation Date: R",
         "  Actor: X", "Registry Expiry Date: E", "Registrar: 7", "Registrar IANA ID: 7",
         "Registrar Abuse Contact Email: a@x", "DNSSEC: unsigned", "Registrar:", "  version: 4.0",
         "    x: 1", "Registrant (work): O", "  Object class: registrant", "Object class: domain",
         "Transfer: T", "DNSSEC zone signed: true", "status: active"});
    row("domain head: only what it wrote is left out after it",
        R"({"objectClassName": "domain", "events": [],
            "asEventActor": [{"eventAction": "registration", "eventDate": "A"}],
            "secureDNS": {"delegationSigned": true}, "secureDns": {"delegationSigned": false},
            "entities": [{"roles": ["abuse"]}, {"roles": ["registrar"]}]})",
        {"DNSSEC: signedDelegation", "Registrar:", "Abuse:", "Registration: A",
         "DNSSEC delegation signed: false"});
    row("redactions",
        R"({"redacted": [{"name": {"type": "Registrant Name", "description": "the name"},
              "postPath": "$.a", "pathLang": "jsonpath", "method": "emptyValue",
              "reason": {"description": "Server policy"}},
            {"name": {"description": "Technical Contact"}, "prePath": "$.b", "x": 1},
            {"name": {"type": "T"}, "replacementPath": "$.c", "pathLang": 5,
             "reason": {"type": "R", "lang": "en"}},
            {"name": "N", "method": "removal"}, {"name": {"type": "M"}, "method": 2}, 3]})",
        {"Redacted: Registrant Name (emptyValue; Server policy)", "  description: the name",
         "  postPath: $.a (jsonpath)", "Redacted: Technical Contact (removal)", "  prePath: $.b",
         "  x: 1", "Redacted: T (removal; R)", "  lang: en", "  replacementPath: $.c",
         "  pathLang: 5", "redacted:", "  Name: N", "  method: removal", "redacted:", "  method: 2",
         "  name:", "    Type: M", "redacted: 3"});
    row("related links",
        R"({"links": [{"rel": "related", "href": "https://a.example/rdap/domain/X"},
            {"rel": "related", "href": "https://b.example/domain/X", "type": "text/html"},
            {"rel": "related", "href": "javascript:x/domain/X", "type": "application/rdap+json"},
            {"rel": "related", "href": "whois://c.example/domain/X"},
            {"rel": "related", "href": "https://d.example/rdap/help"},
            {"rel": "related", "href": "https://d.example/rdap/domain/X?q=1"},
            {"rel": "related", "href": "https://d.example/xdomain/X"},
            {"rel": "related", "href": "https://a.example@f.example/domain/X"},
            {"rel": "self", "href": "https://e.example/domain/X"}]})",
        {}, {"https://a.example/rdap/"});
}

void TestRdap::render() {
    QFETCH(QString, answer);
    QFETCH(bool, error);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, offers);
    const QByteArray bytes = body(answer);
    const std::optional<QString> text = error ? rdapvalues::textOf(rdap::renderError, bytes)
                                              : rdapvalues::textOf(rdap::renderAnswer, bytes);
    QVERIFY(text);
    QVERIFY(text->endsWith(QLatin1Char('\n')));
    QCOMPARE(rdapvalues::missing(QJsonDocument::fromJson(bytes), *text), QStringList());
    const QStringList shown = text->split(QLatin1Char('\n'));
    qsizetype at = 0;
    for (const QString &line : lines) {
        at = shown.indexOf(line, at);
        if (at < 0)
            QFAIL(
                qPrintable(QStringLiteral("no line \"%1\" in its place in:\n%2").arg(line, *text)));
    }
    QStringList offered;
    for (const QString &line : shown) {
        const QString base = rdap::relatedBase(line);
        if (!base.isEmpty() && !offered.contains(base))
            offered += base;
    }
    QCOMPARE(offered, offers);
}

// A value of several lines is a line of the text each, under its label: CR LF, CR or LF ends one,
// so CR LF gives no empty line between them.
void TestRdap::lineEnds_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("CR LF") << "a\r\nb"
                           << "Handle: a\nHandle: b\n";
    QTest::newRow("CR") << "a\rb"
                        << "Handle: a\nHandle: b\n";
    QTest::newRow("LF") << "a\nb"
                        << "Handle: a\nHandle: b\n";
    QTest::newRow("CR LF at the end") << "a\r\n"
                                      << "Handle: a\n";
    QTest::newRow("an empty line between") << "a\r\n\r\nb"
                                           << "Handle: a\nHandle:\nHandle: b\n";
    QTest::newRow("LF CR is two") << "a\n\rb"
                                  << "Handle: a\nHandle:\nHandle: b\n";
}

void TestRdap::lineEnds() {
    QFETCH(QString, value);
    QFETCH(QString, text);
    QByteArray rendered;
    QVERIFY(rdap::renderAnswer(
        QJsonDocument(QJsonObject{{QStringLiteral("handle"), value}}).toJson(), rendered));
    QCOMPARE(QString::fromUtf8(rendered), text);
}

// An answer whose text is far longer than the renderer writes at a time, with characters
// outside the BMP: the text comes out whole, once, in UTF-8.
void TestRdap::longAnswerWhole() {
    QJsonArray description;
    QString expected = QStringLiteral("Object class: entity\nHandle: X\nRemark: T\n");
    for (int i = 0; i < 5000; ++i) {
        const QString line = QStringLiteral("Zeile %1 \u00fc \U0001F600").arg(i);
        description.append(line);
        expected += QStringLiteral("  ") + line + QLatin1Char('\n');
    }
    const QJsonObject answer{
        {QStringLiteral("objectClassName"), QStringLiteral("entity")},
        {QStringLiteral("handle"), QStringLiteral("X")},
        {QStringLiteral("remarks"),
         QJsonArray{QJsonObject{{QStringLiteral("title"), QStringLiteral("T")},
                                {QStringLiteral("description"), description}}}}};
    QByteArray text = "before\n";
    QVERIFY(rdap::renderAnswer(QJsonDocument(answer).toJson(), text));
    QCOMPARE(QString::fromUtf8(text), QStringLiteral("before\n") + expected);
}

void TestRdap::statusLine() {
    QCOMPARE(rdap::statusLine(404, "Not Found", ""), QStringLiteral("HTTP 404 Not Found\n"));
    QCOMPARE(rdap::statusLine(429, "Too Many Requests", " 30 "),
             QStringLiteral("HTTP 429 Too Many Requests, retry after 30 s\n"));
    QCOMPARE(rdap::statusLine(503, "Busy", "Wed, 21 Oct 2026 07:28:00 GMT"),
             QStringLiteral("HTTP 503 Busy, retry after Wed, 21 Oct 2026 07:28:00 GMT\n"));
    // HTTP/2 sends no reason phrase.
    QCOMPARE(rdap::statusLine(404, "", ""), QStringLiteral("HTTP 404 Not Found\n"));
    QCOMPARE(rdap::statusLine(599, "", ""), QStringLiteral("HTTP 599\n"));
    QByteArray text = "kept\n";
    QVERIFY(!rdap::renderAnswer("<html>Not Found</html>", text));
    QVERIFY(!rdap::renderError("Not Found", text));
    QVERIFY(!rdap::renderAnswer(QByteArray(2000, '[') + QByteArray(2000, ']'), text));
    QCOMPARE(text, QByteArray("kept\n"));
}

QTEST_GUILESS_MAIN(TestRdap)
#include "tst_rdap.moc"

// The host-name and address rules that every layer asks (host/hostname.h).
#include "host/hostname.h"

#include <QTest>

class TestHostname : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hostName_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("name");
        const auto row = [](const char *tag, const char *text, bool name) {
            QTest::newRow(tag) << QString::fromUtf8(text) << name;
        };
        row("two labels", "example.net", true);
        row("hyphens inside, digits", "whois-1.nic-2.example", true);
        row("any case", "WHOIS.Example.NET", true);
        row("ACE", "xn--mller-kva.de", true);
        row("one label", "localhost", false);
        row("empty", "", false);
        row("empty label", "whois..example.net", false);
        row("trailing dot", "whois.nic.fr.", false);
        row("leading dot", ".nic.fr", false);
        row("label begins with a hyphen", "-whois.example.net", false);
        row("label ends in a hyphen", "whois-.example.net", false);
        row("last label ends in a hyphen", "whois.example.net-", false);
        row("underscore", "who_is.example.net", false);
        row("blank", "who is.example.net", false);
        row("not ASCII", "m\xC3\xBCller.de", false);
        row("last label all digits", "10.1.2", false);
        row("version number", "2.0", false);
        row("digits before a name", "1.example", true);
        row("label of 63", (QByteArray(63, 'a') + ".net").constData(), true);
        row("label of 64", (QByteArray(64, 'a') + ".net").constData(), false);
        row("253 characters",
            (QByteArray(61, 'a') + '.' + QByteArray(63, 'b') + '.' + QByteArray(63, 'c') + '.' +
             QByteArray(63, 'd'))
                .constData(),
            true);
        row("254 characters",
            (QByteArray(62, 'a') + '.' + QByteArray(63, 'b') + '.' + QByteArray(63, 'c') + '.' +
             QByteArray(63, 'd'))
                .constData(),
            false);
    }
    void hostName() {
        QFETCH(QString, text);
        QFETCH(bool, name);
        QCOMPARE(host::isHostName(text), name);
    }

    void ipAddress_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("address");
        const auto row = [](const char *tag, const char *text, bool address) {
            QTest::newRow(tag) << QString::fromLatin1(text) << address;
        };
        row("ipv4", "192.0.2.1", true);
        row("ipv4 edges", "0.0.0.0", true);
        row("ipv4 part over 255", "256.1.1.1", false);
        row("ipv4 leading zero", "010.1.1.1", false);
        row("ipv4 three parts", "10.1.2", false);
        row("ipv4 five parts", "1.2.3.4.5", false);
        row("ipv4 empty part", "1..3.4", false);
        row("ipv6", "2001:db8::1", true);
        row("ipv6 upper case", "2001:DB8::1", true);
        row("ipv6 loopback", "::1", true);
        row("ipv6 embedded ipv4", "::ffff:192.0.2.1", true);
        row("ipv6 zone", "fe80::1%eth0", false);
        row("ipv6 brackets", "[::1]", false);
        row("ipv6 broken", "2001:db8:::1", false);
        row("name", "example.net", false);
        row("empty", "", false);
    }
    void ipAddress() {
        QFETCH(QString, text);
        QFETCH(bool, address);
        QCOMPARE(host::isIpAddress(text), address);
    }
};

QTEST_GUILESS_MAIN(TestHostname)
#include "tst_hostname.moc"

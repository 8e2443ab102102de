#include "fakehttp.h"
#include "fakewhois.h"
#include "rdap/rdap.h"
#include "rdap/referral.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTextBlock>

namespace {
// The first line of a recorded answer that holds what, as the result box shows it (no CR).
QString sampleLine(const QString &file, const QString &what) {
    const QString text = QString::fromLatin1(
        FakeWhois::readFile(QStringLiteral(LUMBRA_TEST_DATA "/samples/") + file));
    for (const QString &line : text.split(QLatin1Char('\n')))
        if (line.contains(what))
            return QString(line).remove(QLatin1Char('\r'));
    qFatal("%s holds no line with %s", qPrintable(file), qPrintable(what));
}

// The entries of a menu as "text" (without the shortcut), "-" for a separator, and "(off)"
// after a disabled one.
QStringList entries(const QMenu *menu) {
    QStringList out;
    for (const QAction *a : menu->actions()) {
        QString e =
            a->isSeparator() ? QStringLiteral("-") : a->text().section(QLatin1Char('\t'), 0, 0);
        if (!a->isEnabled())
            e += QStringLiteral(" (off)");
        out << e;
    }
    return out;
}

// The "Read as" submenu of the result box's context menu opened on the line of `at`.
QMenu *readAsMenu(TextBox *box, const QTextCursor &at) {
    box->setTextCursor(QTextCursor(at.block()));
    QTest::keyClick(box, Qt::Key_Menu);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (!menu)
        return nullptr;
    menu->close();
    return menu->findChild<QMenu *>(QStringLiteral("mnuReadAs"));
}

const QString Answer = QStringLiteral("NetRange:       170.0.0.0 - 170.0.255.255\r\n"
                                      "\r\n"
                                      "ReferralServer:  whois://whois.lacnic.net\r\n"
                                      "Comment:        see whois.apnic.net\r\n");
} // namespace

class tst_Referral : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Which server the selection the menu was opened on, or else the line, offers to search.
    void rules_data() {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<bool>("onSelection");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("server");
        // A line "@file|text": the first line of that recorded answer that holds text. The menu
        // is opened on the selection unless elsewhere is set.
        const struct {
            const char *name, *selection, *line, *server;
            bool elsewhere = false;
        } table[] = {
            {"ARIN whois://", "", "@arin-170.txt|ReferralServer:", "whois.lacnic.net"},
            {"ARIN rwhois:// with a port", "", "@arin-174.txt|ReferralServer:", ""},
            {"Verisign, indented", "",
             "@verisign-com-registered.txt|Registrar WHOIS Server:", "whois.markmonitor.com"},
            {"ARIN prose naming a server", "", "@arin-170.txt|or check the WHOIS server", ""},
            {"Verisign banner", "", "@verisign-com-available.txt|Whois Server Version", ""},
            {"refer:", "", "refer:        whois.verisign-grs.com", "whois.verisign-grs.com"},
            {"whois:", "", "whois:        whois.nic.fr", "whois.nic.fr"},
            {"any case, blanks around", "", "  wHOIS sERVER :\twhois.example.net \t",
             "whois.example.net"},
            {"whois:// port 43", "", "ReferralServer: whois://whois.ripe.net:43", "whois.ripe.net"},
            {"whois:// other port", "", "ReferralServer: whois://whois.ripe.net:4343", ""},
            {"CoCCA: Registry label, two colons", "", "Registry WHOIS Server:: whois.nic.ai",
             "whois.nic.ai"},
            {"Registrar Whois", "", "Registrar Whois: whois.website.ws", "whois.website.ws"},
            {"AFNIC remark", "", "remarks: Whois site at: whois.nic.tf", "whois.nic.tf"},
            {"Whois site at outside a remark", "", "descr: Whois site at: whois.nic.tf", ""},
            {"three colons", "", "Registry WHOIS Server::: whois.nic.ai", ""},
            {"IPv4 value", "", "WHOIS Server: 138.201.122.95", "138.201.122.95"},
            {"unspecified address value", "", "ReferralServer: whois://0.0.0.0", ""},
            {"RDAP related link", "",
             "Link: related https://rdap.markmonitor.com/rdap/domain/GOOGLE.COM "
             "(application/rdap+json)",
             "https://rdap.markmonitor.com/rdap/"},
            {"whois:// IPv4", "", "ReferralServer: whois://192.0.2.1", "192.0.2.1"},
            {"whois:// IPv4 port 43", "", "ReferralServer: whois://192.0.2.1:43", "192.0.2.1"},
            {"whois:// IPv6 in brackets, port 43", "", "ReferralServer: whois://[2001:db8::1]:43",
             "2001:db8::1"},
            {"IPv6 value", "", "whois: 2001:db8::43", "2001:db8::43"},
            {"trailing dot dropped", "", "Registrar WHOIS Server: whois.markmonitor.com.",
             "whois.markmonitor.com"},
            {"http://", "", "whois: http://whois.example.net", ""},
            {"empty value", "", "refer:", ""},
            {"more after the name", "", "refer: whois.example.net (new)", ""},
            {"another label", "", "domain:       whois.example.net", ""},
            {"label inside a longer one", "", "prefer: whois.example.net", ""},
            {"selected name, blanks around", " whois.apnic.net \u2029", "remarks: none",
             "whois.apnic.net"},
            {"selected IPv4", "193.0.6.135", "", "193.0.6.135"},
            {"selected IPv6", "2001:67c:2e8:22::c100:68b", "", "2001:67c:2e8:22::c100:68b"},
            {"selected A-label", "whois.xn--mller-kva.de", "", "whois.xn--mller-kva.de"},
            {"menu on the selection: before the line", "whois.apnic.net", "refer: whois.arin.net",
             "whois.apnic.net"},
            {"menu elsewhere: the line, not the selection", "whois.apnic.net",
             "refer: whois.arin.net", "whois.arin.net", true},
            {"menu elsewhere, no line", "193.0.6.135", "", "", true},
            {"selected loopback", "127.0.0.1", "", "127.0.0.1"},
            {"selected unspecified IPv4", "0.0.0.0", "refer: whois.arin.net", "whois.arin.net"},
            {"selected unspecified IPv6", "::", "", ""},
            {"selected unspecified, mapped", "::ffff:0.0.0.0", "", ""},
            {"selection no name: the line", "whois", "refer: whois.arin.net", "whois.arin.net"},
            {"version number", "2.0", "", ""},
            {"IPv4 part over 255", "256.1.1.1", "", ""},
            {"IPv4 leading zero", "010.1.1.1", "", ""},
            {"IPv6 with a zone", "fe80::1%eth0", "", ""},
            {"no dot", "localhost", "", ""},
            {"empty label", "whois..example.net", "", ""},
            {"selected name, trailing dot", "whois.nic.fr.", "", "whois.nic.fr"},
            {"two trailing dots", "whois.example.net..", "", ""},
            {"selected whois://", "whois://whois.apnic.net", "", "whois.apnic.net"},
            {"selected name:43", "whois.ripe.net:43", "", "whois.ripe.net"},
            {"selected other port", "whois.ripe.net:4343", "", ""},
            {"selected rwhois://", "rwhois://rwhois.example.net:4321", "", ""},
            {"selected web URL", "https://whois.example.net", "", ""},
            {"quotes", "'whois.jprs.jp'", "", "whois.jprs.jp"},
            {"parentheses", "(whois.nic.tf)", "", "whois.nic.tf"},
            {"brackets around IPv6", "[2001:db8::1]", "", "2001:db8::1"},
            {"angle brackets", "<whois.nic.tf>", "", "whois.nic.tf"},
            {"trailing comma", "whois.nic.tf,", "", "whois.nic.tf"},
            {"trailing semicolon", "whois.nic.tf;", "", "whois.nic.tf"},
            {"two pairs", "((whois.nic.tf))", "", ""},
            {"unmatched pair", "(whois.nic.tf]", "", ""},
            {"label begins with hyphen", "-whois.example.net", "", ""},
            {"label ends in a hyphen", "whois-.example.net", "", ""},
            {"line: label ends in a hyphen", "", "Registrar WHOIS Server: whois.example-.net", ""},
            {"label of 64", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.net",
             "", ""},
            {"not ASCII", "whois.m\u00FCller.de", "", ""},
        };
        for (const auto &row : table) {
            QString line = QString::fromUtf8(row.line);
            if (line.startsWith(QLatin1Char('@')))
                line = sampleLine(line.mid(1).section(QLatin1Char('|'), 0, 0),
                                  line.section(QLatin1Char('|'), 1));
            QTest::newRow(row.name) << QString::fromUtf8(row.selection) << !row.elsewhere << line
                                    << QString::fromUtf8(row.server);
        }
    }
    void rules() {
        QFETCH(QString, selection);
        QFETCH(bool, onSelection);
        QFETCH(QString, line);
        QFETCH(QString, server);
        QCOMPARE(referral::serverToSearch(selection, onSelection, line), server);
    }

    // The menu, however it is opened: "Search on <server>" when the selection it was opened on
    // or the line names one, "Search with RDAP" and "with auto" (disabled while the sweep is
    // ticked), "Find...", "Read as"
    // (disabled: text the program set, no answer), then Qt's own entries. The selection, when
    // there is one, is "whois.apnic.net" on line 3.
    void menu_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("line");
        QTest::addColumn<bool>("select");
        QTest::addColumn<bool>("all");
        QTest::addColumn<QStringList>("first");
        auto list = [](const char *items) { return QString::fromLatin1(items).split(u'|'); };
        const QStringList referral = list("&Search on whois.lacnic.net|Search with &RDAP|Search "
                                          "with a&uto|&Find...|Read &as (off)|-|&Copy (off)");
        const QStringList plain =
            list("Search with &RDAP|Search with a&uto|&Find...|Read &as (off)|-|&Copy (off)");
        const QStringList selected = list("&Search on whois.apnic.net|Search with &RDAP|Search "
                                          "with a&uto|&Find...|Read &as (off)|-|&Copy");
        QTest::newRow("mouse on the referral") << "mouse" << 2 << false << false << referral;
        QTest::newRow("mouse on another line") << "mouse" << 3 << false << false << plain;
        QTest::newRow("mouse on the referral, a selection elsewhere")
            << "mouse" << 2 << true << false
            << list("&Search on whois.lacnic.net|Search with &RDAP|Search with a&uto|&Find...|Read "
                    "&as (off)|-|&Copy");
        QTest::newRow("mouse inside the selection") << "mouse" << 3 << true << false << selected;
        QTest::newRow("Menu key, cursor on the referral")
            << "menu" << 2 << false << false << referral;
        QTest::newRow("Menu key with a selection") << "menu" << 3 << true << false << selected;
        QTest::newRow("Shift+F10, cursor on the referral")
            << "shift+f10" << 2 << false << false << referral;
        QTest::newRow("Shift+F10, cursor elsewhere") << "shift+f10" << 0 << false << false << plain;
        QTest::newRow("sweep ticked") << "mouse" << 2 << false << true
                                      << list("&Search on whois.lacnic.net (off)|Search with &RDAP "
                                              "(off)|Search with a&uto (off)|&Find...|Read &as "
                                              "(off)|-|&Copy (off)");
    }
    void menu() {
        QFETCH(QString, how);
        QFETCH(int, line);
        QFETCH(bool, select);
        QFETCH(bool, all);
        QFETCH(QStringList, first);
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        auto *box = win.get<TextBox>("txtSearchResult");
        box->SetText(Answer);
        win.get<QCheckBox>("chkAll")->setChecked(all);
        const QString server = win.get<QComboBox>("cmbWhoisServer")->currentText();
        box->setFocus();
        QTextCursor at(box->document()->findBlockByNumber(line));
        QTextCursor selection(box->document());
        selection.movePosition(QTextCursor::End);
        if (select) {
            const QTextBlock block = box->document()->findBlockByNumber(3);
            const int start = block.position() + int(block.text().indexOf(u"whois.apnic.net"));
            selection.setPosition(start);
            selection.setPosition(start + 15, QTextCursor::KeepAnchor);
            if (line == 3)
                at.setPosition(start + 7); // inside the selection
        }
        if (how == QLatin1String("mouse")) {
            // The pointer on the line, the text cursor (or the selection) where it was set.
            const QPoint point = box->cursorRect(at).center();
            box->setTextCursor(selection);
            QContextMenuEvent request(QContextMenuEvent::Mouse, point,
                                      box->viewport()->mapToGlobal(point));
            QApplication::sendEvent(box->viewport(), &request);
        } else {
            box->setTextCursor(select ? selection : at);
            if (how == QLatin1String("menu"))
                QTest::keyClick(box, Qt::Key_Menu);
            else
                QTest::keyClick(box, Qt::Key_F10, Qt::ShiftModifier);
        }
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        const QStringList shown = entries(menu);
        QCOMPARE(shown.mid(0, first.size()), first);
        QCOMPARE(shown.last(), QStringLiteral("Select All"));
        menu->close();
        // Opening the menu runs nothing.
        QCOMPARE(win.get<QComboBox>("cmbWhoisServer")->currentText(), server);
        QVERIFY(!win.running());
    }

    // While a sweep runs, the hops stay disabled even once the box is unticked: choosing one
    // would close the connection of the server being swept. After the sweep they are enabled.
    void noHopDuringSweep() {
        FakeWhois server;
        QVERIFY(server.listen());
        server.setResponder([](QTcpSocket *s, const QByteArray &) {
            s->write("ReferralServer:  whois://whois.lacnic.net\n");
        });
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        auto *servers = win.get<QComboBox>("cmbWhoisServer");
        servers->clear();
        servers->addItem(server.host());
        win.pointAt(server);
        auto *box = win.get<TextBox>("txtSearchResult");
        auto hops = [&] {
            box->setFocus();
            const QTextCursor found = box->document()->find(QStringLiteral("ReferralServer"));
            box->setTextCursor(QTextCursor(found.block()));
            QTest::keyClick(box, Qt::Key_Menu);
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return QStringList();
            menu->close();
            return entries(menu).mid(0, 2);
        };
        QStringList during;
        connect(&win.w.winsock(), &Winsock::DataArrival, &win.w, [&] {
            QTimer::singleShot(0, &win.w, [&] {
                if (!during.isEmpty())
                    return;
                win.get<QCheckBox>("chkAll")->setChecked(false);
                during = hops();
                FakeWhois::closeFromServer(server.lastSocket());
            });
        });
        win.get<QCheckBox>("chkAll")->setChecked(true);
        win.search(QStringLiteral("q")); // returns once the sweep has ended
        QCOMPARE(during, QString::fromLatin1("&Search on whois.lacnic.net (off)|"
                                             "Search with &RDAP (off)")
                             .split(u'|'));
        QTRY_VERIFY(win.endedCleanly());
        QCOMPARE(hops(),
                 QString::fromLatin1("&Search on whois.lacnic.net|Search with &RDAP").split(u'|'));
    }

    // Choosing the item asks that server with the query field's text, after the same check as
    // Search: its block goes below the answer shown, and the server field keeps its text.
    void searchFromMenu_data() {
        QTest::addColumn<QString>("query");
        QTest::newRow("query given") << "170.0.0.0";
        QTest::newRow("query empty") << "";
    }
    void searchFromMenu() {
        QFETCH(QString, query);
        FakeWhois lacnic;
        QVERIFY(lacnic.listen());
        lacnic.answerAndClose("inetnum: 170.0.0.0/16\n");
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        win.w.winsock().setTestPort(lacnic.port());
        win.w.winsock().setTestHosts({{QStringLiteral("whois.lacnic.net"), lacnic.host()}});
        auto *box = win.get<TextBox>("txtSearchResult");
        box->SetText(Answer);
        win.get<QLineEdit>("txtSearchText")->setText(query);
        const QString server = win.get<QComboBox>("cmbWhoisServer")->currentText();
        box->setFocus();
        box->setTextCursor(QTextCursor(box->document()->findBlockByNumber(2)));
        QTest::keyClick(box, Qt::Key_Menu);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction *search = menu->findChild<QAction *>(QStringLiteral("mnuSearchServer"));
        QVERIFY(search);
        menu->close(); // as choosing an item does, before the item runs
        search->trigger();
        QCOMPARE(win.get<QComboBox>("cmbWhoisServer")->currentText(), server);
        if (query.isEmpty()) {
            QCOMPARE(win.boxes.size(), 1);
            QCOMPARE(win.boxes.first().first, QStringLiteral("Please enter a searchstring!"));
            QCOMPARE(win.text(), Answer);
            QCOMPARE(lacnic.connections(), 0);
            return;
        }
        QTRY_COMPARE(lacnic.requests(), QList<QByteArray>{"170.0.0.0\r\n"});
        QTRY_VERIFY(!win.running());
        QCOMPARE(win.text(), Answer + QStringLiteral("\r\n") + QString(56, QLatin1Char('-')) +
                                 QStringLiteral("\r\nSearch results of: whois.lacnic.net\r\n\r\n"
                                                "inetnum: 170.0.0.0/16\r\n"));
        QVERIFY(win.boxes.isEmpty());
    }

    // The RDAP text offers what its readers look for: a domain's port 43 server under the head's
    // label, a registrar's RDAP service through its related link; nothing else.
    void rdapTextOffers_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("offers");
        QTest::newRow("registry: the registrar's RDAP service")
            << "domain_com_google.com_verisign.json"
            << QStringList{QStringLiteral("https://rdap.markmonitor.com/rdap/")};
        QTest::newRow("registrar: its WHOIS server")
            << "domain_com_google.com_markmonitor.json"
            << QStringList{QStringLiteral("whois.markmonitor.com")};
        QTest::newRow("network: the registry's WHOIS server")
            << "ip_v4_arin_192.198.0.0.json" << QStringList{QStringLiteral("whois.arin.net")};
    }
    void rdapTextOffers() {
        QFETCH(QString, answer);
        QFETCH(QStringList, offers);
        QByteArray text;
        QVERIFY(rdap::renderAnswer(
            FakeWhois::readFile(QStringLiteral(LUMBRA_TEST_DATA "/rdap/answers/") + answer), text));
        QStringList offered;
        for (const QString &line : QString::fromUtf8(text).split(QLatin1Char('\n'))) {
            const QString server = referral::serverToSearch(QString(), false, line);
            if (!server.isEmpty() && !offered.contains(server))
                offered += server;
        }
        QCOMPARE(offered, offers);
    }

    // "Read as" reads one answer again, in place, from the bytes that came: the other answer
    // and the headers stay, "Automatic" gives the first reading back, outside any answer the
    // item is disabled, and an answer still arriving goes on in the chosen set.
    void readAs() {
        FakeWhois server;
        QVERIFY(server.listen());
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        win.pointAt(server);
        const QByteArray Long(300 * 1024, 'x'); // kept in more than one piece
        for (const QByteArray &answer : {QByteArray("City: Bor\xC3\xA5s\n"),
                                         QByteArray("Name: \xD2\xCE\xC2\n") + Long + "\nend\n"}) {
            server.answerAndClose(answer);
            win.w.query().StartQuery(QStringLiteral("example"), server.host());
            QTRY_VERIFY(win.endedCleanly());
        }
        const QString original = win.text();
        QVERIFY(original.contains(QStringLiteral("City: Bor\u00E5s\r\n")));
        QVERIFY(original.endsWith(QStringLiteral("Name: \u00D2\u00CE\u00C2\r\n") +
                                  QString::fromLatin1(Long) + QStringLiteral("\r\nend\r\n")));
        auto *box = win.get<TextBox>("txtSearchResult");
        box->setFocus();
        // The submenu of the context menu opened on the last line holding `what`.
        auto readAsOn = [&](const QString &what) {
            return readAsMenu(box,
                              box->document()->find(what, box->document()->characterCount() - 1,
                                                    QTextDocument::FindBackward));
        };
        auto choose = [](QMenu *sets, const QString &caption) {
            for (QAction *a : sets->actions())
                if (a->text() == caption)
                    return a->trigger(), true;
            return false;
        };

        QMenu *sets = readAsOn(QStringLiteral("Name:"));
        QVERIFY(sets && sets->menuAction()->isEnabled());
        QCOMPARE(sets->actions().size(), 21);
        QVERIFY(sets->actions().first()->isChecked());
        QVERIFY(choose(sets, QStringLiteral("Windows-1251")));
        QCOMPARE(win.text(), QString(original).replace(QStringLiteral("\u00D2\u00CE\u00C2"),
                                                       QStringLiteral("\u0422\u041E\u0412")));
        qsizetype column = 0;
        QCOMPARE(box->toPlainText(), TextBox::displayForm(win.text(), column));

        sets = readAsOn(QStringLiteral("end"));
        QVERIFY(sets);
        QVERIFY(!sets->actions().first()->isChecked());
        QVERIFY(choose(sets, QStringLiteral("Automatic")));
        QCOMPARE(win.text(), original);

        sets = readAsOn(QStringLiteral("Search results of:"));
        QVERIFY(sets && !sets->menuAction()->isEnabled());

        server.setResponder([](QTcpSocket *s, const QByteArray &) { s->write("Name: \xD2\xCE"); });
        win.w.query().StartQuery(QStringLiteral("example"), server.host());
        QTRY_VERIFY(win.text().endsWith(QStringLiteral("Name: \u00D2\u00CE")));
        sets = readAsOn(QStringLiteral("Name:"));
        QVERIFY(sets && choose(sets, QStringLiteral("Windows-1251")));
        QVERIFY(win.text().endsWith(QStringLiteral("Name: \u0422\u041E")));
        QVERIFY(server.lastSocket());
        server.lastSocket()->write("\xC2\n");
        FakeWhois::closeFromServer(server.lastSocket());
        QTRY_VERIFY(win.endedCleanly());
        QVERIFY(win.text().endsWith(QStringLiteral("Name: \u0422\u041E\u0412\r\n")));
        QVERIFY(win.text().startsWith(original));

        // "Automatic" gives a table server's answer its own set back, not UTF-8's rules.
        win.w.winsock().setTestHosts({{QStringLiteral("whois.kg"), server.host()}});
        server.answerAndClose("Name: \xD2\xCE\xC2\n");
        win.w.query().StartQuery(QStringLiteral("example"), QStringLiteral("whois.kg"));
        QTRY_VERIFY(win.endedCleanly());
        const QString kg = win.text();
        QVERIFY(kg.endsWith(QStringLiteral("Name: \u0422\u041E\u0412\r\n")));
        QVERIFY(choose(readAsOn(QStringLiteral("Name:")), QStringLiteral("Windows-1252")));
        QVERIFY(win.text().endsWith(QStringLiteral("Name: \u00D2\u00CE\u00C2\r\n")));
        QVERIFY(choose(readAsOn(QStringLiteral("Name:")), QStringLiteral("Automatic")));
        QCOMPARE(win.text(), kg);

        // An RDAP rendering is UTF-8 by definition, for "Automatic" too: an escape sequence in
        // a value designates no other set.
        FakeHttp http;
        QVERIFY(http.listen());
        http.json("/domain/example.com", R"({"objectClassName": "domain", "ldhName":
            "example.com", "remarks": [{"description": ["\u001b$B M\u00fcller"]}]})");
        win.w.query().StartQuery(QStringLiteral("example.com"), http.url().toString());
        QTRY_VERIFY(win.endedCleanly());
        const QString rdap = win.text();
        QVERIFY(rdap.contains(QStringLiteral("\x1b$B M\u00fcller\r\n")));
        QVERIFY(choose(readAsOn(QStringLiteral("M\u00fcller")), QStringLiteral("ISO-2022-JP")));
        QVERIFY(!win.text().contains(QStringLiteral("M\u00fcller")));
        QVERIFY(choose(readAsOn(QStringLiteral("example.com")), QStringLiteral("Automatic")));
        QCOMPARE(win.text(), rdap);
    }

    // "JSON as received" shows an RDAP answer's body as it came, below the lines before its
    // rendering, in place of the rendering; "Automatic" gives the rendering back; the answers
    // after it stay; Copy copies what is shown. A WHOIS answer has no such item.
    void jsonAsReceived() {
        FakeHttp http;
        QVERIFY(http.listen());
        const QByteArray body =
            "{\"objectClassName\": \"domain\",\n \"ldhName\": \"b\xC3\xBC.example\"}";
        const QByteArray error = R"({"errorCode": 404, "title": "Not here"})";
        http.json("/domain/example.com", body);
        http.on("/domain/example.net", {404, "Not Found", error, {}});
        FakeWhois whois;
        QVERIFY(whois.listen());
        whois.answerAndClose("inetnum: 170.0.0.0/16\n");
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        win.w.query().StartQuery(QStringLiteral("example.com"), http.url().toString());
        QTRY_VERIFY(win.endedCleanly());
        win.w.query().StartQuery(QStringLiteral("example.net"), http.url().toString());
        QTRY_VERIFY(win.endedCleanly());
        win.pointAt(whois);
        win.w.query().StartQuery(QStringLiteral("example"), whois.host());
        QTRY_VERIFY(win.endedCleanly());
        const QString original = win.text();
        QVERIFY(original.contains(QStringLiteral("Domain Name: b\u00FC.example\r\n")));

        auto *box = win.get<TextBox>("txtSearchResult");
        box->setFocus();
        auto readAsOn = [&](const QString &what) {
            return readAsMenu(box, box->document()->find(what));
        };
        QMenu *sets = readAsOn(QStringLiteral("Domain Name:"));
        QVERIFY(sets);
        QAction *json = sets->actions().value(1);
        QVERIFY(json && json->objectName() == QStringLiteral("mnuJsonAsReceived"));
        QVERIFY(json->isEnabled() && !json->isChecked());
        json->trigger();
        const QString url = http.url().toString();
        const QString asReceived =
            QStringLiteral("RDAP %1domain/example.com\r\n{\"objectClassName\": \"domain\",\r\n "
                           "\"ldhName\": \"b\u00FC.example\"}\r\n")
                .arg(url);
        const qsizetype rendering = original.indexOf(QStringLiteral("RDAP ") + url);
        const qsizetype next =
            original.indexOf(QStringLiteral("\r\n") + QString(56, QLatin1Char('-')), rendering);
        QCOMPARE(win.text(), original.left(rendering) + asReceived + original.mid(next));
        QTest::keyClick(box, Qt::Key_C, Qt::AltModifier);
        QTRY_COMPARE(QApplication::clipboard()->text(), win.text());

        // The error's status line stays above its body.
        sets = readAsOn(QStringLiteral("Not here"));
        QVERIFY(sets &&
                sets->actions().value(1)->objectName() == QStringLiteral("mnuJsonAsReceived"));
        sets->actions().value(1)->trigger();
        QVERIFY(win.text().contains(QStringLiteral("RDAP %1domain/example.net\r\nHTTP 404 Not "
                                                   "Found\r\n%2\r\n")
                                        .arg(url, QString::fromLatin1(error))));

        sets = readAsOn(QStringLiteral("objectClassName"));
        QVERIFY(sets && sets->actions().value(1)->isChecked());
        QVERIFY(!sets->actions().first()->isChecked());
        sets->actions().first()->trigger();
        sets = readAsOn(QStringLiteral("HTTP 404"));
        QVERIFY(sets);
        sets->actions().first()->trigger();
        QCOMPARE(win.text(), original);

        sets = readAsOn(QStringLiteral("inetnum:"));
        QVERIFY(sets && !sets->findChild<QAction *>(QStringLiteral("mnuJsonAsReceived")));
    }
};

QTEST_MAIN(tst_Referral)
#include "tst_referral.moc"

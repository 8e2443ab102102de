#include "fakehttp.h"
#include "fakewhois.h"
#include "platform/maskedbox.h"
#include "platform/picturebox.h"
#include "platform/textbox.h"
#include "platform/updown.h"
#include "platform/winsock.h"
#include "query/query.h"
#include "rdap/rdap.h"
#include "rdapvalues.h"
#include "ui/findwindow.h"
#include "ui/frmmain.h"
#include "ui/frmresource.h"
#include "ui/messagebox.h"
#include "ui/startup.h"
#include "windowfixture.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSignalSpy>
#include <QSslKey>
#include <QStringDecoder>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>
#ifdef LUMBRA_HAVE_QT_GUI_PRIVATE
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>
#endif

#include <algorithm>

class tst_frmMain : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startUp() {
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        auto *servers = win.get<QComboBox>("cmbWhoisServer");
        QCOMPARE(servers->count(), 8);
        QStringList items;
        for (int i = 0; i < servers->count(); ++i)
            items << servers->itemText(i);
        QCOMPARE(items, frmMain::whoisServers());
        const QStringList builtIn = {
            QStringLiteral("whois.ripe.net"),  QStringLiteral("whois.verisign-grs.com"),
            QStringLiteral("whois.nic.mil"),   QStringLiteral("whois.nic.gov"),
            QStringLiteral("whois.apnic.net"), QStringLiteral("whois.arin.net"),
            QStringLiteral("whois.denic.de"),  QStringLiteral("whois.nic.at")};
        QCOMPARE(items, builtIn);
        QCOMPARE(servers->currentText(), QStringLiteral("whois.ripe.net"));
        QVERIFY(!win.get<QCheckBox>("chkAll")->isChecked());
        QCOMPARE(win.get<MaskEdBox>("mtxtTimeOut")->Text(), QStringLiteral("10"));
        QVERIFY(win.get<PictureBox>("imgStatus")->isVisible());
        QVERIFY(win.get<PictureBox>("imgStatus")->Picture().isNull());
        QCOMPARE(win.get<TextBox>("txtSearchResult")->Text(), QString());
        QCOMPARE(win.get<QLabel>("lblStatus")->text(), QString());
        QCOMPARE(win.get<QLineEdit>("txtSearchText")->text(), QString());
        QVERIFY(!win.get<QTimer>("Timer1")->isActive());
        QCOMPARE(win.get<QTimer>("Timer1")->interval(), 1000);
        QCOMPARE(win.w.windowTitle(), QStringLiteral("Lumbra"));
        QCOMPARE(win.focused(), QStringLiteral("txtSearchText"));
        const QList<QSize> iconSizes = win.w.windowIcon().availableSizes();
        QVERIFY(iconSizes.contains(QSize(16, 16)));
        QVERIFY(iconSizes.contains(QSize(32, 32)));
        QVERIFY(win.w.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(win.w.windowFlags() & Qt::WindowMaximizeButtonHint);
    }

    void geometry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        const struct {
            const char *name;
            int l, t, w, h;
        } table[] = {
            {"btnCopy", 1872, 5520, 1452, 372},
            {"btnSearch", 432, 5520, 1452, 372},
            {"btnInfo", 3312, 5520, 1452, 372},
            {"btnExit", 4752, 5520, 1452, 372},
            {"UpDown1", 1800, 624, 228, 252},
            {"mtxtTimeOut", 1440, 624, 372, 252},
            {"chkAll", 4920, 1320, 1572, 192},
            {"cmbWhoisServer", 1440, 360, 4932, 288},
            {"txtSearchResult", 120, 1560, 6372, 3852},
            {"txtSearchText", 1440, 120, 4932, 288},
            {"imgStatus", 6000, 840, 492, 492},
            {"Label7", 600, 620, 732, 252},
            {"lblTimeOut", 5640, 960, 252, 252},
            {"lblStatus", 1440, 960, 4092, 288},
            {"Label4", 720, 960, 612, 252},
            {"Label3", 120, 1320, 1092, 252},
            {"Label2", 240, 360, 1092, 252},
            {"Label1", 480, 120, 852, 252},
        };
        for (const auto &row : table)
            QTest::newRow(row.name)
                << QString::fromLatin1(row.name) << QRect(row.l, row.t, row.w, row.h);
    }
    void geometry() {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        Window win;
        QCOMPARE(win.w.logicalDpiX(), 96);
        auto px = [](int t) { return qRound(t * 96 / 1440.0); };
        QWidget *c = win.w.findChild<QWidget *>(name);
        QVERIFY(c);
        QCOMPARE(c->geometry(),
                 QRect(px(twips.left()), px(twips.top()), px(twips.width()), px(twips.height())));
        // resizing the window moves nothing
        win.w.resize(800, 700);
        QCOMPARE(c->pos(), QPoint(px(twips.left()), px(twips.top())));
    }

    void windowArea() {
        Window win;
        QCOMPARE(win.w.size(), QSize(442, 400));
        QCOMPARE(win.w.geometry().topLeft(), QPoint(90, 110)); // the client area, not the frame
    }

    void fonts() {
        Window win;
        const QFont result = win.get<TextBox>("txtSearchResult")->font();
        QCOMPARE(result.pointSizeF(), 9.0);
        QVERIFY(QFontInfo(result).fixedPitch());
        for (const char *name : {"lblStatus", "lblTimeOut"}) {
            const QFont f = win.get<QLabel>(name)->font();
            QVERIFY(f.bold());
            QCOMPARE(f.pointSizeF(), 7.8);
        }
        QCOMPARE(win.get<QLabel>("Label1")->font().pointSizeF(), 8.0);
        QVERIFY(!win.get<QLabel>("Label1")->font().bold());
    }

    void tabChain() {
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        const QStringList chain =
            QStringLiteral("cmbWhoisServer mtxtTimeOut chkAll txtSearchResult "
                           "btnSearch btnCopy btnInfo btnExit UpDown1 txtSearchText")
                .split(QLatin1Char(' '));
        for (const QString &next : chain) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(win.focused(), next);
        }
        for (qsizetype i = chain.size() - 2; i >= 0; --i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            QCOMPARE(win.focused(), chain.at(i));
        }
    }

    void accessKeysFocus_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("target");
        QTest::newRow("Alt+T") << int(Qt::Key_T) << "txtSearchText";
        QTest::newRow("Alt+W") << int(Qt::Key_W) << "cmbWhoisServer";
        QTest::newRow("Alt+O") << int(Qt::Key_O) << "mtxtTimeOut";
        QTest::newRow("Alt+R") << int(Qt::Key_R) << "txtSearchResult";
    }
    void accessKeysFocus() {
        QFETCH(int, key);
        QFETCH(QString, target);
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        win.get<QPushButton>("btnInfo")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::AltModifier);
        QTRY_COMPARE(win.focused(), target);
        QVERIFY(win.boxes.isEmpty());
    }

    void altAToggles() {
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        auto *all = win.get<QCheckBox>("chkAll");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(all->isChecked());
        QCOMPARE(win.focused(), QStringLiteral("chkAll"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(!all->isChecked());
    }

    void accessKeysClick_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("ended");
        QTest::newRow("Alt+S") << int(Qt::Key_S) << "Please enter a searchstring!" << 0;
        QTest::newRow("Alt+I") << int(Qt::Key_I) << "LUMBRA 1.0" << 0;
        QTest::newRow("Alt+X") << int(Qt::Key_X) << "" << 1;
    }
    void accessKeysClick() {
        QFETCH(int, key);
        QFETCH(QString, box);
        QFETCH(int, ended);
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::AltModifier);
        if (ended) {
            QTRY_COMPARE(win.ended, ended);
            QVERIFY(win.boxes.isEmpty());
        } else {
            QTRY_COMPARE(win.boxes.size(), 1);
            QVERIFY(win.boxes.first().first.startsWith(box));
            QCOMPARE(win.ended, 0);
        }
    }

    void altCCopies() {
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        win.get<TextBox>("txtSearchResult")->SetText(QStringLiteral("a\r\r\nb"));
        QApplication::clipboard()->setText(QStringLiteral("before"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier);
        QTRY_COMPARE(QApplication::clipboard()->text(), QStringLiteral("a\r\r\nb"));
    }

    // Enter starts a search from any input field, even from an incomplete timeout.
    void enterSearches_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("timeout");
        QTest::newRow("query") << "txtSearchText"
                               << "10";
        QTest::newRow("server") << "cmbWhoisServer"
                                << "10";
        QTest::newRow("timeout incomplete") << "mtxtTimeOut"
                                            << "5 ";
        QTest::newRow("timeout emptied") << "mtxtTimeOut"
                                         << "  ";
        QTest::newRow("check box") << "chkAll"
                                   << "10";
        QTest::newRow("result") << "txtSearchResult"
                                << "10";
    }
    void enterSearches() {
        QFETCH(QString, field);
        QFETCH(QString, timeout);
        FakeWhois server;
        QVERIFY(server.listen());
        server.answerAndClose("answer\n");
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        win.pointAt(server);
        win.get<QLineEdit>("txtSearchText")->setText(QStringLiteral("example.com"));
        win.get<MaskEdBox>("mtxtTimeOut")->SetText(timeout);
        win.w.findChild<QWidget *>(field)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE(server.requests(), QList<QByteArray>{"example.com\r\n"});
        QTRY_VERIFY(
            win.get<TextBox>("txtSearchResult")->Text().endsWith(QStringLiteral("answer\r\n")));
        QVERIFY(win.boxes.isEmpty());
        QCOMPARE(win.get<QComboBox>("cmbWhoisServer")->count(),
                 8); // typed names never join the list
    }

    void enterOnCopyCopies() {
        FakeWhois server;
        QVERIFY(server.listen());
        server.answerAndClose("x");
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        win.pointAt(server);
        win.get<QLineEdit>("txtSearchText")->setText(QStringLiteral("q"));
        win.get<TextBox>("txtSearchResult")->SetText(QStringLiteral("kept"));
        win.get<QPushButton>("btnCopy")->setFocus();
        QApplication::clipboard()->clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE(QApplication::clipboard()->text(), QStringLiteral("kept"));
        QCOMPARE(win.get<TextBox>("txtSearchResult")->Text(), QStringLiteral("kept"));
        QCOMPARE(win.w.winsock().State(), int(Winsock::sckClosed));
        QCOMPARE(server.connections(), 0);
    }

    void escapeDoesNothing() {
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(win.w.isVisible());
        QCOMPARE(win.ended, 0);
        QCOMPARE(win.w.result(), 0);
    }

    void resultBoxIsReadOnly() {
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        auto *box = win.get<TextBox>("txtSearchResult");
        box->SetText(QStringLiteral("line one\r\nline two"));
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("typed"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(box->Text(), QStringLiteral("line one\r\nline two"));
        QCOMPARE(box->toPlainText(), QStringLiteral("line one\nline two"));
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(box->textCursor().hasSelection());
        QCOMPARE(box->lineWrapMode(), QPlainTextEdit::NoWrap);
    }

    void copyRightAfterStartIsEmpty() {
        Window win;
        QApplication::clipboard()->setText(QStringLiteral("something"));
        win.get<QPushButton>("btnCopy")->click();
        QCOMPARE(QApplication::clipboard()->text(), QString());
    }

    void info() {
        Window win;
        win.get<QPushButton>("btnInfo")->click();
        QCOMPARE(win.boxes.size(), 1);
        const QStringList lines = win.boxes.first().first.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0), QStringLiteral("LUMBRA 1.0"));
        QCOMPARE(lines.at(1), QStringLiteral("A simple Whois client."));
        QVERIFY(!lines.at(2).isEmpty());
        QCOMPARE(win.boxes.first().second, QStringLiteral("Lumbra"));
    }

    // Exit and closing the window both close an open connection before the program ends.
    void endingClosesConnection_data() {
        QTest::addColumn<bool>("viaClose");
        QTest::newRow("Exit") << false;
        QTest::newRow("close box") << true;
    }
    void endingClosesConnection() {
        QFETCH(bool, viaClose);
        FakeWhois server;
        QVERIFY(server.listen());
        server.staySilent();
        Window win;
        win.pointAt(server);
        win.get<QLineEdit>("txtSearchText")->setText(QStringLiteral("q"));
        win.get<QPushButton>("btnSearch")->click();
        QTRY_COMPARE(server.requests().size(), 1);
        if (viaClose)
            win.w.close();
        else
            win.get<QPushButton>("btnExit")->click();
        QCOMPARE(win.ended, 1);
        QCOMPARE(win.w.winsock().State(), int(Winsock::sckClosed));
        QTRY_COMPARE(server.closedByClient(), 1);
    }

    void exitWithoutConnection() {
        Window win;
        win.get<QPushButton>("btnExit")->click();
        QCOMPARE(win.ended, 1);
    }

    // Server names are shown as they are written, never as markup or access keys.
    void statusShowsTextLiterally_data() {
        QTest::addColumn<QString>("server");
        QTest::newRow("markup") << "<b>x</b>";
        QTest::newRow("ampersand") << "a&b";
        QTest::newRow("entity") << "&lt;";
    }
    void statusShowsTextLiterally() {
        QFETCH(QString, server);
        Window win;
        win.get<QComboBox>("cmbWhoisServer")->setEditText(server);
        win.get<QLineEdit>("txtSearchText")->setText(QStringLiteral("q"));
        win.get<QPushButton>("btnSearch")->click();
        auto *status = win.get<QLabel>("lblStatus");
        QCOMPARE(status->text(), QStringLiteral("Connecting .... ") + server);
        QCOMPARE(status->textFormat(), Qt::PlainText);
        QVERIFY(status->buddy() == nullptr);
        QVERIFY(win.get<TextBox>("txtSearchResult")->Text().contains(server));
    }

    // The picture holder appears with the first data, never on screen; frames keep one size.
    void pictureHolder() {
        FakeWhois server;
        QVERIFY(server.listen());
        server.staySilent();
        Window win;
        QVERIFY(!win.w.findChild<frmResource *>());
        win.pointAt(server);
        win.get<QLineEdit>("txtSearchText")->setText(QStringLiteral("q"));
        win.get<QPushButton>("btnSearch")->click();
        QTRY_COMPARE(server.requests().size(), 1);
        QVERIFY(!win.w.findChild<frmResource *>());
        auto *img = win.get<PictureBox>("imgStatus");
        QList<QImage> shown;
        for (int i = 0; i < 5; ++i) {
            server.lastSocket()->write("x");
            QTRY_COMPARE(win.w.query().intFrame, qint16(i % 4 + 1));
            QCOMPARE(img->size(), QSize(32, 32));
            shown << img->Picture().toImage();
        }
        auto *holder = win.w.findChild<frmResource *>();
        QVERIFY(holder);
        QVERIFY(!holder->isVisible());
        QVERIFY(holder->isWindow());
        QCOMPARE(holder->windowTitle(), QStringLiteral("Form1"));
        QCOMPARE(shown.at(4), shown.at(0));
        QVERIFY(shown.at(1) != shown.at(0));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(shown.at(i), holder->Image1(i).toImage());
        QVERIFY(holder->Image1(4).isNull());
        QVERIFY(holder->Image1(-1).isNull());
    }

    void spinnerStepsTheField() {
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        auto *spinner = win.get<UpDown>("UpDown1");
        auto *field = win.get<MaskEdBox>("mtxtTimeOut");
        QToolButton *up = nullptr;
        for (QToolButton *b : spinner->findChildren<QToolButton *>())
            if (b->arrowType() == Qt::UpArrow)
                up = b;
        QVERIFY(up);
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(field->Text(), QStringLiteral("11"));
        for (int i = 0; i < 70; ++i)
            spinner->stepUp();
        QCOMPARE(field->Text(), QStringLiteral("60"));
        for (int i = 0; i < 70; ++i)
            spinner->stepDown();
        QCOMPARE(field->Text(), QStringLiteral("10"));
    }

    // A screen reader names each control so; the timeout's field and spinner apart.
    void accessibleNames_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        const char *table[][2] = {
            {"btnSearch", "Search"},
            {"btnCopy", "Copy"},
            {"btnInfo", "Info"},
            {"btnExit", "Exit"},
            {"txtSearchText", "Search text"},
            {"mtxtTimeOut", "Timeout"},
            {"UpDown1", "Timeout up-down"},
            {"chkAll", "Search all servers"},
            {"txtSearchResult", "Search result"},
            {"imgStatus", "Status picture"},
        };
        for (const auto &row : table)
            QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1]);
    }
    void accessibleNames() {
        QFETCH(QString, control);
        QFETCH(QString, name);
        Window win;
        QAccessibleInterface *iface =
            QAccessible::queryAccessibleInterface(win.w.findChild<QWidget *>(control));
        QVERIFY(iface);
        QCOMPARE(iface->text(QAccessible::Name), name);
        if (control == QLatin1String("UpDown1"))
            QCOMPARE(iface->role(), QAccessible::SpinBox);
    }

    // The labels whose text the program changes: a screen reader reads that text as their name
    // and hears each change of it; what they are for is their description.
    void statusLabels_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("purpose");
        QTest::newRow("status line") << "lblStatus"
                                     << "Connecting .... 127.0.0.1"
                                     << "Status";
        QTest::newRow("count") << "lblTimeOut"
                               << "1"
                               << "Elapsed seconds";
        QTest::newRow("Find's status line") << "lblFindStatus"
                                            << "Not found"
                                            << "Find status";
    }
    void statusLabels() {
#ifndef LUMBRA_HAVE_QT_GUI_PRIVATE
        QSKIP("needs Qt's private GUI headers (Debian's qt6-base-private-dev)");
#else
        QFETCH(QString, label);
        QFETCH(QString, text);
        QFETCH(QString, purpose);
        Window win;
        QVERIFY(QTest::qWaitForWindowActive(&win.w));
        FindWindow &find = win.w.findWindow();
        auto *shown = win.w.findChild<QLabel *>(label);
        QVERIFY(shown);
        static QList<QObject *> named; // the objects of the name changes announced
        named.clear();
        // As a screen reader's presence does: without it, no event is sent at all.
        QPlatformAccessibility *platform =
            QGuiApplicationPrivate::platformIntegration()->accessibility();
        QVERIFY(platform);
        platform->setActive(true);
        QAccessible::installUpdateHandler([](QAccessibleEvent *event) {
            if (event->type() == QAccessible::NameChanged)
                named << event->object();
        });
        if (label == QLatin1String("lblStatus")) {
            win.get<QComboBox>("cmbWhoisServer")->setEditText(QStringLiteral("127.0.0.1"));
            win.search(QStringLiteral("q"));
        } else if (label == QLatin1String("lblTimeOut")) {
            win.search(QStringLiteral("q"));
            win.ticks(1);
        } else {
            win.get<TextBox>("txtSearchResult")->SetText(QStringLiteral("alpha"));
            find.findChild<QLineEdit *>(QStringLiteral("txtFind"))->setText(QStringLiteral("zeta"));
            find.findChild<QPushButton *>(QStringLiteral("btnNext"))->click();
        }
        QAccessible::installUpdateHandler(nullptr);
        platform->setActive(false);
        QCOMPARE(shown->text(), text);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(shown);
        QVERIFY(iface);
        QCOMPARE(iface->text(QAccessible::Name), text);
        QCOMPARE(iface->text(QAccessible::Description), purpose);
        QVERIFY(named.contains(shown));
        win.w.winsock().Close();
#endif
    }

    void displayCheck_data() {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("platform");
        QTest::addColumn<bool>("available");
        QTest::newRow("none") << QByteArray() << QByteArray() << QByteArray() << false;
        QTest::newRow("X") << QByteArray(":0") << QByteArray() << QByteArray() << true;
        QTest::newRow("Wayland") << QByteArray() << QByteArray("wayland-0") << QByteArray() << true;
        QTest::newRow("offscreen")
            << QByteArray() << QByteArray() << QByteArray("offscreen") << true;
    }
    void displayCheck() {
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, platform);
        QFETCH(bool, available);
        const QByteArray saved[] = {qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"),
                                    qgetenv("QT_QPA_PLATFORM")};
        qputenv("DISPLAY", display);
        qputenv("WAYLAND_DISPLAY", wayland);
        qputenv("QT_QPA_PLATFORM", platform);
        QString why;
        const bool result = displayAvailable(QStringLiteral("/opt/x/lumbra"), &why);
        qputenv("DISPLAY", saved[0]);
        qputenv("WAYLAND_DISPLAY", saved[1]);
        qputenv("QT_QPA_PLATFORM", saved[2]);
        QCOMPARE(result, available);
        QCOMPARE(why.isEmpty(), available);
        if (!available)
            QVERIFY(why.endsWith(QStringLiteral("xvfb-run -a /opt/x/lumbra")));
    }

    // RDAP at a base URL: what each kind of HTTP outcome leaves in the box below the header.
    void rdapOutcomes_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reason");
        QTest::addColumn<QByteArrayList>("headers");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("viaHttps"); // asked at an https server that redirects
        QTest::addColumn<QString>("shown"); // %1: the http server's URL

        const QByteArray error = FakeWhois::readFile(rdapData("answers/error_ripe_404.json"));
        const QString asked = QStringLiteral("RDAP %1domain/example.com\n");
        QTest::newRow("404 RDAP error")
            << 404 << QByteArray("Not Found") << QByteArrayList() << error << false
            << asked + QStringLiteral("HTTP 404 Not Found\n") +
                   rdapvalues::textOf(rdap::renderError, error).value_or(QString());
        QTest::newRow("404 HTML") << 404 << QByteArray("Not Found") << QByteArrayList()
                                  << QByteArray("<html><b>gone</b></html>") << false
                                  << asked + QStringLiteral(
                                                 "HTTP 404 Not Found\n<html><b>gone</b></html>");
        QTest::newRow("429 Retry-After")
            << 429 << QByteArray("Too Many Requests") << QByteArrayList{"Retry-After: 30"}
            << QByteArray() << false
            << asked + QStringLiteral("HTTP 429 Too Many Requests, retry after 30 s\n");
        QTest::newRow("500") << 500 << QByteArray("Internal Server Error") << QByteArrayList()
                             << QByteArray("down\n") << false
                             << asked + QStringLiteral("HTTP 500 Internal Server Error\ndown\n");
        QTest::newRow("not JSON, in Windows-1252")
            << 200 << QByteArray("OK") << QByteArrayList() << QByteArray("caf\xe9 {\n") << false
            << asked + QStringLiteral("caf\u00e9 {\n");
        // RDAP text is UTF-8: an escape sequence in a value designates no other set.
        const QByteArray escape = R"({"objectClassName": "domain", "ldhName": "example.com",
            "remarks": [{"description": ["\u001b$B M\u00fcller Stra\u00dfe Registrar"]}]})";
        QTest::newRow("ESC $ B in a value, then non-ASCII")
            << 200 << QByteArray("OK") << QByteArrayList() << escape << false
            << asked + rdapvalues::textOf(rdap::renderAnswer, escape).value_or(QString());
        const QByteArray large = withNameservers(finalAnswer, 6000);
        QTest::newRow("a large answer, shown as it is rendered")
            << 200 << QByteArray("OK") << QByteArrayList() << large << false
            << asked + rdapvalues::textOf(rdap::renderAnswer, large).value_or(QString());
        QTest::newRow("redirect followed")
            << 302 << QByteArray("Found") << QByteArrayList{"Location: /final/domain/example.com"}
            << QByteArray() << false
            << QStringLiteral("RDAP %1final/domain/example.com\n") +
                   rdapvalues::textOf(rdap::renderAnswer, finalAnswer).value_or(QString());
        QTest::newRow("redirect https to http refused")
            << 200 << QByteArray("OK") << QByteArrayList() << QByteArray() << true
            << QStringLiteral("Insecure redirect\n");
        QTest::newRow("silence ends by the timeout")
            << 0 << QByteArray() << QByteArrayList() << QByteArray() << false << QString();
    }
    void rdapOutcomes() {
        QFETCH(int, status);
        QFETCH(QByteArray, reason);
        QFETCH(QByteArrayList, headers);
        QFETCH(QByteArray, body);
        QFETCH(bool, viaHttps);
        QFETCH(QString, shown);
        FakeHttp http;
        QVERIFY(http.listen());
        http.on("/domain/example.com", {status, reason, body, headers, 2, 10, status == 0});
        http.json("/final/domain/example.com", finalAnswer);
        const QSslConfiguration tls = loopbackTls();
        FakeHttp https;
        QVERIFY(https.listen(&tls));
        https.redirect("/domain/example.com", http.url(QStringLiteral("final/domain/example.com")));

        Window win;
        win.w.winsock().setTestRdapCas(tls.localCertificateChain());
        const QString server = (viaHttps ? https : http).url().toString();
        win.get<QComboBox>("cmbWhoisServer")->setEditText(server);
        win.search(QStringLiteral("example.com"));
        QTRY_COMPARE(win.get<QLabel>("lblStatus")->text(),
                     QStringLiteral("Connected to ") + server);
        QTRY_VERIFY_WITH_TIMEOUT(win.endedCleanly(), 15000);
        QCOMPARE(win.text(),
                 QueryForm::lfToCrLf(header(server) +
                                     shown.replace(QStringLiteral("%1"), http.url().toString())));
        if (status == 0)
            QTRY_COMPARE(http.closedByClient(), 1);
    }

    // "rdap" asks the registry IANA's bootstrap names: each file fetched once and kept, but a
    // failed fetch not kept; internationalised names asked in ACE form.
    void rdapBootstrap() {
        FakeHttp iana;
        QVERIFY(iana.listen());
        FakeHttp registry;
        QVERIFY(registry.listen());
        FakeHttp registrar;
        QVERIFY(registrar.listen());
        // The registry's related link leads to the registrar's loopback server.
        const QByteArray answer =
            FakeWhois::readFile(rdapData("answers/domain_com_google.com_verisign.json"))
                .replace("https://rdap.markmonitor.com/rdap/",
                         registrar.url(QStringLiteral("rdap/")).toEncoded());
        registry.json("/com/v1/domain/google.com", answer);
        const QByteArray registrarAnswer =
            FakeWhois::readFile(rdapData("answers/domain_com_google.com_markmonitor.json"));
        registrar.json("/rdap/domain/google.com", registrarAnswer);
        iana.on("/dns.json", {500, "Internal Server Error", {}, {}, 1, 0, false});
        const QString server = QStringLiteral(" RDAP ");

        Window win;
        // Nothing of HTTP exists before the first RDAP query: start-up does not pay for it.
        QVERIFY(win.w.findChildren<QNetworkAccessManager *>().isEmpty());
        win.w.winsock().setTestRdapBootstrap(iana.url());
        win.get<QComboBox>("cmbWhoisServer")->setEditText(server);
        win.search(QStringLiteral("google.com"));
        QTRY_VERIFY(win.endedCleanly());
        QCOMPARE(win.text(),
                 QueryForm::lfToCrLf(header(server) + QStringLiteral("RDAP ") +
                                     iana.url(QStringLiteral("dns.json")).toString() +
                                     QStringLiteral("\nHTTP 500 Internal Server Error\n")));

        iana.json("/dns.json", R"({"version": "1.0", "publication": "2026-01-01T00:00:00Z",
            "services": [[["net", "com"], [")" +
                                   registry.url(QStringLiteral("com/v1/")).toEncoded() +
                                   R"("]]]})");
        QSignalSpy arrivals(&win.w.winsock(), &Winsock::DataArrival);
        win.search(QStringLiteral("google.com"));
        QTRY_VERIFY(win.endedCleanly());
        // Each piece of the bootstrap file and of the answer was a sign of life as it came.
        QVERIFY(std::count_if(arrivals.begin(), arrivals.end(),
                              [](const QVariantList &a) { return a.at(0).toInt() == 0; }) >= 2);
        QCOMPARE(win.text(),
                 QueryForm::lfToCrLf(
                     header(server) + QStringLiteral("RDAP ") +
                     registry.url(QStringLiteral("com/v1/domain/google.com")).toString() +
                     QLatin1Char('\n') +
                     rdapvalues::textOf(rdap::renderAnswer, answer).value_or(QString())));

        // The related link's line offers its base URL; the hop's answer goes below, and the
        // server field keeps its text.
        const QString registryText = win.text();
        auto *box = win.get<TextBox>("txtSearchResult");
        const QString base = registrar.url(QStringLiteral("rdap/")).toString();
        box->setTextCursor(box->document()->find(base));
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Menu);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction *hop = menu->findChild<QAction *>(QStringLiteral("mnuSearchServer"));
        QVERIFY(hop);
        QCOMPARE(hop->text(), QStringLiteral("&Search on ") + base);
        menu->close();
        hop->trigger();
        QTRY_VERIFY(win.endedCleanly());
        QCOMPARE(win.text(),
                 registryText +
                     QueryForm::lfToCrLf(
                         header(base) + QStringLiteral("RDAP ") + base +
                         QStringLiteral("domain/google.com\n") +
                         rdapvalues::textOf(rdap::renderAnswer, registrarAnswer).value()));
        QCOMPARE(win.get<QComboBox>("cmbWhoisServer")->currentText(), server);
        // "Search with RDAP" asks through the bootstrap, below that too.
        const QString hopText = win.text();
        QTest::keyClick(box, Qt::Key_Menu);
        menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction *withRdap = menu->findChild<QAction *>(QStringLiteral("mnuSearchRdap"));
        QVERIFY(withRdap);
        menu->close();
        withRdap->trigger();
        QTRY_VERIFY(win.endedCleanly());
        QCOMPARE(win.text().left(hopText.size()), hopText);
        QVERIFY(win.text()
                    .mid(hopText.size())
                    .startsWith(QueryForm::lfToCrLf(
                        header(QStringLiteral("rdap")) + QStringLiteral("RDAP ") +
                        registry.url(QStringLiteral("com/v1/domain/google.com")).toString())));

        win.search(QStringLiteral("example.org"));
        QTRY_VERIFY(win.endedCleanly());
        QVERIFY(win.text().endsWith(
            QStringLiteral("\r\nNo RDAP service for \".org\" in IANA's dns.json\r\n")));
        win.search(QStringLiteral("b\u00fccher.com"));
        QTRY_VERIFY(win.endedCleanly());
        QCOMPARE(registry.count("/com/v1/domain/xn--bcher-kva.com"), 1);
        QCOMPARE(iana.count("/dns.json"), 2);
        QCOMPARE(win.w.findChildren<QNetworkAccessManager *>().size(), 1);
    }

    // "auto" on loopback: registry and registrar in one block, each answer after its own line,
    // the registrar's after one empty line; a registrar that fails or stays silent keeps the
    // registry's answer; IANA's WHOIS answer only points. WHOIS servers share one port on
    // 127.0.0.1 (IANA), .2 (the registry) and .3 (the registrar).
    void autoLookup_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("how");
        QTest::newRow("RDAP registry and registrar") << "google.com"
                                                     << "rdap";
        QTest::newRow("RDAP registrar answers 500") << "google.com"
                                                    << "rdap 500";
        QTest::newRow("RDAP registry answer in many pieces") << "google.com"
                                                             << "rdap large";
        // Its contacts come before its own links: the first link line names another registrar.
        QTest::newRow("RDAP registrar named by the text's first link") << "google.com"
                                                                       << "rdap other";
        QTest::newRow("RDAP registrar stays silent") << "google.com"
                                                     << "rdap silent";
        QTest::newRow("WHOIS fallback: IANA, registry, registrar") << "example.kg"
                                                                   << "whois";
        QTest::newRow("WHOIS registrar stays silent") << "example.kg"
                                                      << "whois silent";
        QTest::newRow("IANA names no server") << "x.eh"
                                              << "none";
        QTest::newRow("bare TLD at IANA's RDAP service") << "IO"
                                                         << "tld";
    }
    void autoLookup() {
        QFETCH(QString, query);
        QFETCH(QString, how);
        FakeHttp iana, registry, registrar, topLevel;
        QVERIFY(iana.listen() && registry.listen() && registrar.listen() && topLevel.listen());
        QList<FakeWhois *> whois;
        for (int i = 1; i <= 3; ++i) {
            whois.append(new FakeWhois(this));
            QVERIFY(whois.back()->listen(QHostAddress(QStringLiteral("127.0.0.%1").arg(i)),
                                         whois.first()->port()));
        }
        QByteArray answer =
            FakeWhois::readFile(rdapData("answers/domain_com_google.com_verisign.json"))
                .replace("https://rdap.markmonitor.com/rdap/",
                         registrar.url(QStringLiteral("rdap/")).toEncoded());
        const QByteArray registrarAnswer =
            FakeWhois::readFile(rdapData("answers/domain_com_google.com_markmonitor.json"));
        const bool other = how == QLatin1String("rdap other");
        if (how == QLatin1String("rdap large"))
            answer = withNameservers(answer, 6000);
        if (other) {
            QJsonObject domain = QJsonDocument::fromJson(answer).object();
            QJsonArray entities = domain.value(QLatin1String("entities")).toArray();
            entities.append(QJsonObject{
                {QStringLiteral("roles"), QJsonArray{QStringLiteral("link")}},
                {QStringLiteral("handle"),
                 QLatin1String("related ") +
                     registrar.url(QStringLiteral("other/domain/google.com")).toString()}});
            domain[QStringLiteral("entities")] = entities;
            answer = QJsonDocument(domain).toJson();
            registrar.json("/other/domain/google.com", registrarAnswer);
        }
        iana.json("/dns.json", R"({"version": "1.0", "services": [[["com"], [")" +
                                   registry.url(QStringLiteral("com/v1/")).toEncoded() +
                                   R"("]]]})");
        registry.json("/com/v1/domain/google.com", answer);
        if (how == QLatin1String("rdap 500"))
            registrar.on("/rdap/domain/google.com",
                         {500, "Internal Server Error", "down\n", {}, 1, 0, false});
        else if (how == QLatin1String("rdap silent"))
            registrar.on("/rdap/domain/google.com", {200, "OK", {}, {}, 1, 0, true});
        else
            registrar.json("/rdap/domain/google.com", registrarAnswer);
        topLevel.json("/domain/io", finalAnswer);
        // The registry answers in its own set (Windows-1251), the registrar in Latin-1.
        const QByteArray registryWhois = "Domain: example.kg\nRegistrar WHOIS Server: "
                                         "whois.registrar.example\nCity: \xD2\xCE\xC2\n";
        whois[0]->answerAndClose(
            how == QLatin1String("none")
                ? FakeWhois::readFile(QStringLiteral(LUMBRA_TEST_DATA "/samples/"
                                                                      "iana-tld-not-assigned.txt"))
                : QByteArray("domain: KG\nrefer:        whois.kg\n"));
        whois[1]->answerAndClose(registryWhois);
        if (how == QLatin1String("whois silent"))
            whois[2]->staySilent();
        else
            whois[2]->answerAndClose("Registrar: M\xFCller\n");

        Window win;
        Winsock &ws = win.w.winsock();
        ws.setTestRdapBootstrap(iana.url());
        ws.setTestRdapTopLevel(topLevel.url());
        ws.setTestPort(whois.first()->port());
        ws.setTestHosts({{QStringLiteral("whois.iana.org"), QStringLiteral("127.0.0.1")},
                         {QStringLiteral("whois.kg"), QStringLiteral("127.0.0.2")},
                         {QStringLiteral("whois.registrar.example"), QStringLiteral("127.0.0.3")}});
        // What the status line says at each step, read after the window has written it.
        QStringList status;
        connect(&ws, &Winsock::Status, this,
                [&] { status << win.get<QLabel>("lblStatus")->text(); });
        const QString server = QStringLiteral(" Auto ");
        win.get<QComboBox>("cmbWhoisServer")->setEditText(server);
        win.search(query);

        const QString rdapRegistry =
            QStringLiteral("RDAP ") +
            registry.url(QStringLiteral("com/v1/domain/google.com")).toString() +
            QLatin1Char('\n') + rdapvalues::textOf(rdap::renderAnswer, answer).value();
        const QString registrarUrl = registrar
                                         .url(other ? QStringLiteral("other/domain/google.com")
                                                    : QStringLiteral("rdap/domain/google.com"))
                                         .toString();
        const QString noRdap = QStringLiteral("No RDAP service for \"%1\" in IANA's dns.json\n");
        const QString whoisRegistry = noRdap.arg(QStringLiteral(".kg")) +
                                      QStringLiteral("WHOIS whois.kg\n") +
                                      QStringLiteral("Domain: example.kg\nRegistrar WHOIS "
                                                     "Server: whois.registrar.example\nCity: "
                                                     "\u0422\u041E\u0412\n");
        QString shown;
        if (how == QLatin1String("rdap") || how == QLatin1String("rdap large") || other)
            shown = rdapRegistry + QStringLiteral("\nRDAP ") + registrarUrl + QLatin1Char('\n') +
                    rdapvalues::textOf(rdap::renderAnswer, registrarAnswer).value();
        else if (how == QLatin1String("rdap 500"))
            shown = rdapRegistry + QStringLiteral("\nRDAP ") + registrarUrl +
                    QStringLiteral("\nHTTP 500 Internal Server Error\ndown\n");
        else if (how == QLatin1String("rdap silent"))
            shown = rdapRegistry;
        else if (how == QLatin1String("whois"))
            shown = whoisRegistry +
                    QStringLiteral("\nWHOIS whois.registrar.example\nRegistrar: M\u00fcller\n");
        else if (how == QLatin1String("whois silent"))
            shown = whoisRegistry;
        else if (how == QLatin1String("none"))
            shown = noRdap.arg(QStringLiteral(".eh")) +
                    QStringLiteral("No WHOIS server for \".eh\" in IANA's answer\n");
        else
            shown = QStringLiteral("RDAP ") + topLevel.url(QStringLiteral("domain/io")).toString() +
                    QLatin1Char('\n') + rdapvalues::textOf(rdap::renderAnswer, finalAnswer).value();
        const QString expected = QueryForm::lfToCrLf(header(server) + shown);

        if (how.endsWith(QLatin1String("silent"))) {
            // The registry's answer stands while the registrar is asked; the timeout ends both.
            QTRY_COMPARE(win.text(), expected);
            QTRY_VERIFY(how == QLatin1String("rdap silent") ? registrar.requests().size() == 1
                                                            : whois[2]->requests().size() == 1);
            QVERIFY(win.running());
            win.ticks(11);
            QVERIFY(win.endedCleanly());
            QTRY_VERIFY(registrar.closedByClient() + whois[2]->closedByClient() == 1);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(win.endedCleanly(), 15000);
        }
        QCOMPARE(win.text(), expected);

        if (how.startsWith(QLatin1String("whois"))) {
            // IANA is asked the top-level domain, the registry and the registrar the query.
            QCOMPARE(whois[0]->requests(), QList<QByteArray>{"kg\r\n"});
            QCOMPARE(whois[1]->requests(), QList<QByteArray>{"example.kg\r\n"});
            QCOMPARE(whois[2]->requests(), QList<QByteArray>{"example.kg\r\n"});
            QVERIFY(status.contains(QStringLiteral("Connected to whois.iana.org")));
            QVERIFY(status.contains(QStringLiteral("Connected to whois.kg")));
            QVERIFY(status.contains(QStringLiteral("Connecting .... whois.registrar.example")));
        }
        auto *box = win.get<TextBox>("txtSearchResult");
        auto readAs = [&](const QString &where, const QString &set) {
            box->setTextCursor(QTextCursor(box->document()->find(where).block()));
            box->setFocus();
            QTest::keyClick(box, Qt::Key_Menu);
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            menu->close();
            auto *sets = menu->findChild<QMenu *>(QStringLiteral("mnuReadAs"));
            QVERIFY(sets && sets->menuAction()->isEnabled());
            for (QAction *a : sets->actions())
                if (a->text() == set)
                    a->trigger();
        };
        if (how == QLatin1String("rdap")) {
            // The registrar's answer as its body came, below its own lines, the registry's
            // answer as it was; "Automatic" gives the rendering back.
            readAs(QStringLiteral("RDAP ") + registrarUrl, QStringLiteral("&JSON as received"));
            QString body = QString::fromUtf8(registrarAnswer);
            if (!body.endsWith(QLatin1Char('\n')))
                body += QLatin1Char('\n');
            QCOMPARE(win.text(),
                     QueryForm::lfToCrLf(header(server) + rdapRegistry + QStringLiteral("\nRDAP ") +
                                         registrarUrl + QLatin1Char('\n') + body));
            readAs(QStringLiteral("RDAP ") + registrarUrl, QStringLiteral("Automatic"));
            QCOMPARE(win.text(), expected);
        }
        if (how == QLatin1String("whois")) {
            // Read as works on each answer alone: the registrar's read again in KOI8-R
            // leaves the registry's as it was; "Automatic" gives each its own rules back.
            readAs(QStringLiteral("Registrar:"), QStringLiteral("KOI8-R"));
            QStringDecoder koi8("KOI8-R");
            QCOMPARE(win.text(), QString(expected).replace(QStringLiteral("Registrar: M\u00fcller"),
                                                           QStringLiteral("Registrar: M") +
                                                               QString(koi8.decode("\xFC")) +
                                                               QStringLiteral("ller")));
            readAs(QStringLiteral("City:"), QStringLiteral("Windows-1252"));
            QVERIFY(win.text().contains(QStringLiteral("City: \u00D2\u00CE\u00C2")));
            readAs(QStringLiteral("City:"), QStringLiteral("Automatic"));
            readAs(QStringLiteral("Registrar:"), QStringLiteral("Automatic"));
            QCOMPARE(win.text(), expected);
        }
        if (how == QLatin1String("tld")) {
            // The menu's hop to auto asks the same below, the server field as it was.
            box->setFocus();
            QTest::keyClick(box, Qt::Key_Menu);
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            menu->close();
            QAction *hop = menu->findChild<QAction *>(QStringLiteral("mnuSearchAuto"));
            QVERIFY(hop && hop->isEnabled());
            hop->trigger();
            QTRY_VERIFY(win.endedCleanly());
            QCOMPARE(win.text(),
                     expected + QueryForm::lfToCrLf(header(QStringLiteral("auto")) + shown));
            QCOMPARE(win.get<QComboBox>("cmbWhoisServer")->currentText(), server);
        }
        if (how == QLatin1String("rdap"))
            QCOMPARE(iana.count("/dns.json") + registry.count("/com/v1/domain/google.com") +
                         registrar.count("/rdap/domain/google.com"),
                     3);
        qDeleteAll(whois);
    }

private:
    const QByteArray finalAnswer = R"({"objectClassName": "domain", "ldhName": "example.com"})";

    // A domain answer whose text is shown in several pieces as it is rendered.
    static QByteArray withNameservers(const QByteArray &answer, int count) {
        QJsonObject domain = QJsonDocument::fromJson(answer).object();
        QJsonArray nameservers;
        for (int i = 0; i < count; ++i)
            nameservers.append(QJsonObject{
                {QStringLiteral("objectClassName"), QStringLiteral("nameserver")},
                {QStringLiteral("ldhName"), QStringLiteral("ns%1.example.com").arg(i)}});
        domain[QStringLiteral("nameservers")] = nameservers;
        return QJsonDocument(domain).toJson();
    }

    static QString header(const QString &server) {
        return QLatin1Char('\n') + QString(56, QLatin1Char('-')) +
               QStringLiteral("\nSearch results of: ") + server + QStringLiteral("\n\n");
    }
    static QString rdapData(const char *name) {
        return QStringLiteral(LUMBRA_TEST_DATA "/rdap/") + QLatin1String(name);
    }
    // A server certificate for 127.0.0.1 that only the client under test trusts.
    static QSslConfiguration loopbackTls() {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificateChain(QSslCertificate::fromPath(rdapData("loopback-cert.pem")));
        QFile key(rdapData("loopback-key.pem"));
        if (key.open(QIODevice::ReadOnly))
            tls.setPrivateKey(QSslKey(&key, QSsl::Rsa));
        return tls;
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"

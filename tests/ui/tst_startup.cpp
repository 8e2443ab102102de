#include "ui/startup.h"

#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {
// An X display number nothing listens on: no socket file, lock file or abstract socket.
QString freeDisplay() {
    QFile unixSockets(QStringLiteral("/proc/net/unix"));
    const QByteArray sockets =
        unixSockets.open(QIODevice::ReadOnly) ? unixSockets.readAll() : QByteArray();
    for (int n = 9999;; ++n) {
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
        if (!QFile::exists(socket) && !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) &&
            !sockets.contains((socket + QLatin1Char('\n')).toLatin1()))
            return QStringLiteral(":%1").arg(n);
    }
}

// An Xvfb server of its own for one test, on a display number it picks itself.
class XServer {
public:
    ~XServer() {
        m_server.terminate();
        m_server.waitForFinished(20000);
    }
    // The display, or an empty string when the server did not start.
    QString start() {
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        // Xvfb writes its display number once it takes connections.
        while (!m_server.canReadLine() && m_server.waitForReadyRead(20000)) {
        }
        const QByteArray number = m_server.readLine().trimmed();
        return number.isEmpty() ? QString() : QLatin1Char(':') + QString::fromLatin1(number);
    }

private:
    QProcess m_server;
};

// Runs the real program in env to its end, which must be status 1 (no signal, no abort) with
// nothing on standard output; *said gets what it wrote on standard error.
void runToFailure(const QProcessEnvironment &env, QString *said) {
    QProcess lumbra;
    lumbra.setProcessEnvironment(env);
    lumbra.start(QStringLiteral(LUMBRA_PROGRAM), {});
    QVERIFY(lumbra.waitForFinished(20000)); // a guard against hanging, not a speed limit
    QCOMPARE(lumbra.exitStatus(), QProcess::NormalExit);
    QCOMPARE(lumbra.exitCode(), 1);
    QCOMPARE(lumbra.readAllStandardOutput(), QByteArray());
    *said = QString::fromLocal8Bit(lumbra.readAllStandardError());
}

// A message as the handler before the guard received it.
struct Received {
    QtMsgType type;
    QByteArray file;
    QByteArray function;
    QByteArray category;
    int line;
    QString text;
    bool operator==(const Received &o) const {
        return type == o.type && file == o.file && function == o.function &&
               category == o.category && line == o.line && text == o.text;
    }
};
QList<Received> received;
void receive(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    received.append({type, QByteArray(context.file), QByteArray(context.function),
                     QByteArray(context.category), context.line, text});
}
Q_LOGGING_CATEGORY(lcStartupTest, "lumbra.test.startup")
} // namespace

// The real program, started where no display can be reached, says so in one sentence naming the
// display it tried and exits with status 1: no abort, no core dump, no list of Qt's plugins.
// Where it cannot start for another reason, Qt's own lines say why, and it still exits with 1.
class tst_Startup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Messages held back while the application object connects, and those after start-up, reach
    // the handler installed before the guard as Qt gave them.
    void messagesReachPreviousHandler_data() {
        QTest::addColumn<bool>("whileConnecting");
        QTest::newRow("held back while connecting") << true;
        QTest::newRow("after start-up") << false;
    }
    void messagesReachPreviousHandler() {
        QFETCH(bool, whileConnecting);
        const auto say = [] { qCWarning(lcStartupTest, "%s of %d", "a warning", 1); };
        received.clear();
        const QtMessageHandler testHandler = qInstallMessageHandler(receive);
        const auto restore = qScopeGuard([testHandler] { qInstallMessageHandler(testHandler); });
        say(); // as Qt gives it to the handler
        {
            DisplayConnectGuard guard(QStringLiteral("lumbra"));
            if (whileConnecting) {
                say();
                QCOMPARE(received.size(), 1);
            }
            guard.release();
            if (!whileConnecting)
                say();
        }
        QCOMPARE(received.size(), 2);
        QCOMPARE(received.at(1).text, QStringLiteral("a warning of 1"));
        QVERIFY(received.at(1) == received.at(0));
    }

    void unreachableDisplay_data() {
        QTest::addColumn<QString>("platform"); // QT_QPA_PLATFORM; empty: unset
        QTest::addColumn<QString>("wayland");  // WAYLAND_DISPLAY; empty: unset
        QTest::addColumn<QString>("named");    // empty: the X display
        QTest::newRow("X by default") << QString() << QString() << QString();
        QTest::newRow("xcb asked for") << QStringLiteral("xcb") << QString() << QString();
        QTest::newRow("Wayland asked for")
            << QStringLiteral("wayland") << QStringLiteral("lumbra-test-nowhere")
            << QStringLiteral("the Wayland display \"lumbra-test-nowhere\" (WAYLAND_DISPLAY)");
    }
    void unreachableDisplay() {
        QFETCH(QString, platform);
        QFETCH(QString, wayland);
        QFETCH(QString, named);
        const QString display = freeDisplay();
        if (named.isEmpty())
            named = QStringLiteral("the X display \"%1\" (DISPLAY)").arg(display);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("DISPLAY"), display);
        QTemporaryDir runtime; // as a desktop session has, else the Wayland library complains
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        if (!platform.isEmpty())
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        if (!wayland.isEmpty())
            env.insert(QStringLiteral("WAYLAND_DISPLAY"), wayland);
        QString said;
        runToFailure(env, &said);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(!said.contains(QStringLiteral("platform plugins")), qPrintable(said));
        QVERIFY2(said.endsWith(QLatin1Char('\n')) && said.count(QLatin1Char('\n')) == 1,
                 qPrintable(said));
        QVERIFY2(said.startsWith(QStringLiteral("Lumbra could not connect to ") + named +
                                 QStringLiteral(": start it from a desktop session")),
                 qPrintable(said));
        QVERIFY2(said.trimmed().endsWith(QStringLiteral("xvfb-run -a " LUMBRA_PROGRAM)),
                 qPrintable(said));
    }

    // Other ways the start can fail: each ends with status 1, no abort; Qt's lines that tell
    // the cause come first, then, where the program knows more, its own sentence.
    void cannotStart_data() {
        QTest::addColumn<QStringList>("set");    // NAME=value, over no display variables
        QTest::addColumn<bool>("brokenLibrary"); // an X server runs, an xcb library is bad
        QTest::addColumn<QStringList>("qtSays"); // in this order, before the sentence
        QTest::addColumn<QString>("sentence");   // the last line; empty: Qt's text alone
        const QString program = QStringLiteral(LUMBRA_PROGRAM);
        const QString notLoaded = QStringLiteral("Lumbra could not load the Qt platform plugin "
                                                 "\"xcb\": a library it needs is missing "
                                                 "or broken; QT_DEBUG_PLUGINS=1 %1 shows which")
                                      .arg(program);
        QTest::newRow("no display")
            << QStringList() << false << QStringList()
            << QStringLiteral("Lumbra needs a graphical display and found none (DISPLAY is not "
                              "set): start it from a desktop session, or under a virtual "
                              "display with: xvfb-run -a ") +
                   program;
        QTest::newRow("a library of the xcb plugin broken")
            << QStringList() << true
            << QStringList{QStringLiteral(
                   "qt.qpa.plugin: Could not load the Qt platform plugin \"xcb\"")}
            << notLoaded;
        QTest::newRow("the same with QT_DEBUG_PLUGINS=1")
            << QStringList{QStringLiteral("QT_DEBUG_PLUGINS=1")} << true
            << QStringList{QStringLiteral("libxcb-icccm.so.4"),
                           QStringLiteral(
                               "qt.qpa.plugin: Could not load the Qt platform plugin \"xcb\"")}
            << notLoaded;
        QTest::newRow("plugin not installed")
            << QStringList{QStringLiteral("QT_QPA_PLATFORM=lumbra-test-nowhere")} << false
            << QStringList{QStringLiteral("Could not find the Qt platform plugin "
                                          "\"lumbra-test-nowhere\""),
                           QStringLiteral("no Qt platform plugin could be initialized")}
            << QString();
    }
    void cannotStart() {
        QFETCH(QStringList, set);
        QFETCH(bool, brokenLibrary);
        QFETCH(QStringList, qtSays);
        QFETCH(QString, sentence);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE",
                                 "DISPLAY", "QT_DEBUG_PLUGINS", "QT_QPA_PLATFORM_PLUGIN_PATH"})
            env.remove(QString::fromLatin1(name));
        for (const QString &pair : set)
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        XServer x;
        QTemporaryDir libraries;
        if (brokenLibrary) {
            // A library the xcb plugin links and the program itself does not, found first.
            if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
                QSKIP("Xvfb is not installed (Debian package xvfb)");
            const QString display = x.start();
            QVERIFY(!display.isEmpty());
            env.insert(QStringLiteral("DISPLAY"), display);
            QFile notALibrary(libraries.filePath(QStringLiteral("libxcb-icccm.so.4")));
            QVERIFY(notALibrary.open(QIODevice::WriteOnly));
            notALibrary.write("not a library\n");
            notALibrary.close();
            env.insert(QStringLiteral("LD_LIBRARY_PATH"), libraries.path());
        }
        QString said;
        runToFailure(env, &said);
        if (QTest::currentTestFailed())
            return;
        const QStringList lines = said.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        qsizetype from = 0;
        for (const QString &part : qtSays) {
            from = said.indexOf(part, from);
            QVERIFY2(from >= 0, qPrintable(said));
        }
        if (sentence.isEmpty()) {
            for (const QString &line : lines)
                QVERIFY2(!line.startsWith(QStringLiteral("Lumbra")), qPrintable(said));
        } else {
            QVERIFY2(said.endsWith(QLatin1Char('\n')), qPrintable(said));
            QCOMPARE(lines.last(), sentence);
            QCOMPARE(lines.size() == 1, qtSays.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"

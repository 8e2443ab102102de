#include <QFile>
#include <QProcess>
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
} // namespace

// The real program, started where no display can be reached, says so in one sentence naming the
// display it tried and exits with status 1: no abort, no core dump, no list of Qt's plugins.
class tst_Startup : public QObject {
    Q_OBJECT
private Q_SLOTS:
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
        if (!platform.isEmpty())
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        if (!wayland.isEmpty())
            env.insert(QStringLiteral("WAYLAND_DISPLAY"), wayland);
        QProcess lumbra;
        lumbra.setProcessEnvironment(env);
        lumbra.start(QStringLiteral(LUMBRA_PROGRAM), {});
        QVERIFY(lumbra.waitForFinished(20000)); // a guard against hanging, not a speed limit

        QCOMPARE(lumbra.exitStatus(), QProcess::NormalExit);
        QCOMPARE(lumbra.exitCode(), 1);
        const QString said = QString::fromLocal8Bit(lumbra.readAllStandardError());
        QVERIFY2(!said.contains(QStringLiteral("platform plugins")), qPrintable(said));
        QVERIFY2(said.endsWith(QLatin1Char('\n')) && said.count(QLatin1Char('\n')) == 1,
                 qPrintable(said));
        QVERIFY2(said.startsWith(QStringLiteral("Lumbra could not connect to ") + named +
                                 QStringLiteral(": start it from a desktop session")),
                 qPrintable(said));
        QVERIFY2(said.trimmed().endsWith(QStringLiteral("xvfb-run -a " LUMBRA_PROGRAM)),
                 qPrintable(said));
        QCOMPARE(lumbra.readAllStandardOutput(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"

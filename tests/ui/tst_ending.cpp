#include "fakewhois.h"

#include <QProcess>
#include <QTest>

// Exit or closing the window during a sweep ends the process at once: the open connection is
// closed and no later server is contacted.
class tst_Ending : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void endDuringSweep_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("firstServerConnections");
        QTest::newRow("Exit") << "exit" << 1;
        QTest::newRow("close box") << "close" << 1;
        QTest::newRow("Exit in a nested sweep") << "nested" << 2;
        QTest::newRow("close box over a message box") << "box" << 1;
    }
    void endDuringSweep() {
        QFETCH(QString, mode);
        QFETCH(int, firstServerConnections);
        FakeWhois first;
        QVERIFY(first.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
        first.setResponder([](QTcpSocket *s, const QByteArray &) { s->write("hello\n"); });
        FakeWhois later;
        QVERIFY(later.listen(QHostAddress(QStringLiteral("127.0.0.2")), first.port()));
        later.answerAndClose("should never be asked\n");

        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(QStringLiteral(LUMBRA_ENDING_PROBE),
                    {mode, QString::number(first.port()), QStringLiteral("127.0.0.1"),
                     QStringLiteral("127.0.0.2")});
        QVERIFY(probe.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(probe.state(), QProcess::NotRunning, 30000);
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QTRY_COMPARE(first.closedByClient(), firstServerConnections);
        QCOMPARE(first.connections(), firstServerConnections);
        QCOMPARE(later.connections(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_Ending)
#include "tst_ending.moc"

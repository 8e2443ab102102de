// The child processes: each takes one measurement of the real window (or of a plain text box
// beside it) and prints it as one "RESULT {json}" line on stdout.
#include "answer.h"
#include "modes.h"
#include "proc.h"
#include "windowfixture.h"

#include "platform/maskedbox.h"
#include "platform/textbox.h"
#include "platform/winsock.h"
#include "ui/findwindow.h"
#include "ui/frmmain.h"
#include "ui/startup.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QTcpSocket>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <optional>
#include <unistd.h>

namespace bench {

namespace {

const QString Server = QStringLiteral("127.0.0.1");

void report(const QJsonObject &result) {
    const QByteArray line = "RESULT " + QJsonDocument(result).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

double mib(qint64 kb) {
    return double(kb) / 1024.0;
}

void waitExposed(QWidget &w) {
    const double deadline = monoSeconds() + 5;
    while (monoSeconds() < deadline && !(w.windowHandle() && w.windowHandle()->isExposed()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
}

// Lays out and paints what the box shows now: the same closing step for every measurement.
void settle(QWidget *box) {
    QCoreApplication::processEvents();
    (void)box->grab();
}

// Where a measurement or its floor starts: the resident memory and the time, taken after the
// memory freed while preparing has gone back to the system. A floor makes its text before its
// clock starts, and the allocator would hand that freed memory to it already mapped; on a
// machine where a page fault costs microseconds, the floor would then be faster for a reason of
// no concern to the measurement. Both sides of a ratio start from the same state instead.
struct Start {
    qint64 rssBefore;
    double t0;
};
Start startClock() {
    malloc_trim(0);
    resetPeakRss();
    return {statusKb("VmRSS"), monoSeconds()};
}

// The tests' window fixture, shown offscreen and pointed at the loopback server, with the
// controls the measurements use.
struct MeasuredWindow : Window {
    QComboBox *server = get<QComboBox>("cmbWhoisServer");
    QCheckBox *all = get<QCheckBox>("chkAll");
    TextBox *result = get<TextBox>("txtSearchResult");
    QPushButton *search = get<QPushButton>("btnSearch");
    QLabel *status = get<QLabel>("lblStatus");

    explicit MeasuredWindow(quint16 port) {
        pointAt(Server, port);
        waitExposed(w);
        get<QLineEdit>("txtSearchText")->setText(QStringLiteral("example.com"));
        get<MaskEdBox>("mtxtTimeOut")->SetText(QStringLiteral("10"));
    }
    bool ended() { return !running() && status->text().isEmpty(); }
    // Runs the event loop until the query has ended or `seconds` have gone by.
    bool runUntilEnded(double seconds) {
        QEventLoop loop;
        // Connected after the window's own handler, so it sees the state that handler left.
        QObject::connect(&w.winsock(), &Winsock::Closed, &loop, [&] {
            if (ended())
                loop.quit();
        });
        QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
        loop.exec();
        return ended();
    }
};

// A fresh result box in place of the window's own: same class, font, size and settings.
TextBox *freshBox(MeasuredWindow &win) {
    auto *box = new TextBox(&win.w);
    box->setFont(win.result->font());
    box->setGeometry(win.result->geometry());
    win.result->hide();
    box->show();
    QCoreApplication::processEvents();
    return box;
}

int intake(qsizetype bytes, quint16 port, AnswerText text) {
    MeasuredWindow win(port);
    qint64 pieces = 0;
    qint64 largestPiece = 0;
    QObject::connect(&win.w.winsock(), &Winsock::DataArrival, &win.w, [&](qint32 n) {
        ++pieces;
        largestPiece = std::max<qint64>(largestPiece, n);
    });

    const auto [rssBefore, t0] = startClock();
    win.search->click();
    const bool ended = win.runUntilEnded(60);
    const double t1 = monoSeconds();
    settle(win.result);
    const double t2 = monoSeconds();
    const qint64 hwm = statusKb("VmHWM");
    const qint64 rssAfter = statusKb("VmRSS");

    const QString expected = expectedResult(Server, whoisAnswer(bytes, text), text);
    QJsonObject r;
    r[QStringLiteral("seconds")] = t2 - t0;
    r[QStringLiteral("queryEndedSeconds")] = t1 - t0;
    r[QStringLiteral("settleSeconds")] = t2 - t1;
    r[QStringLiteral("ended")] = ended;
    r[QStringLiteral("textLength")] = double(win.result->Text().size());
    r[QStringLiteral("expectedLength")] = double(expected.size());
    r[QStringLiteral("textExact")] = win.result->Text() == expected;
    r[QStringLiteral("rssBeforeMiB")] = mib(rssBefore);
    r[QStringLiteral("rssAfterMiB")] = mib(rssAfter);
    r[QStringLiteral("peakMiB")] = mib(hwm);
    r[QStringLiteral("pieces")] = double(pieces);
    r[QStringLiteral("largestPiece")] = double(largestPiece);
    report(r);
    return 0;
}

// Search at an endless server until the answer is cut at its limit and the query has ended:
// the time from the first byte to the end, and the memory the cut answer takes.
int pastLimit(quint16 port) {
    MeasuredWindow win(port);
    double first = 0;
    QObject::connect(&win.w.winsock(), &Winsock::DataArrival, &win.w, [&] {
        if (first == 0)
            first = monoSeconds();
    });
    const auto [rssBefore, t0] = startClock();
    win.search->click();
    const bool ended = win.runUntilEnded(120);
    const double t1 = monoSeconds();
    const qint64 hwm = statusKb("VmHWM");
    const QString &text = win.result->Text();
    QJsonObject r;
    r[QStringLiteral("seconds")] = first > 0 ? t1 - first : 0;
    r[QStringLiteral("fromSearchSeconds")] = t1 - t0;
    r[QStringLiteral("ended")] = ended;
    r[QStringLiteral("cut")] = text.endsWith(Winsock::CutLine() + QStringLiteral("\r\n"));
    r[QStringLiteral("textLength")] = double(text.size());
    r[QStringLiteral("rssBeforeMiB")] = mib(rssBefore);
    r[QStringLiteral("peakMiB")] = mib(hwm);
    report(r);
    return 0;
}

// Search for the RDAP answer at the loopback HTTP server until the query has ended and the box
// is painted.
int rdapIntake(qsizetype bytes, quint16 port) {
    MeasuredWindow win(port);
    const QString base = QStringLiteral("http://%1:%2/").arg(Server).arg(port);
    win.server->setEditText(base);
    win.get<QLineEdit>("txtSearchText")->setText(QStringLiteral("GOVI"));
    qint64 pieces = 0;
    QObject::connect(&win.w.winsock(), &Winsock::DataArrival, &win.w, [&] { ++pieces; });

    const auto [rssBefore, t0] = startClock();
    win.search->click();
    const bool ended = win.runUntilEnded(60);
    settle(win.result);
    const double t1 = monoSeconds();
    const qint64 hwm = statusKb("VmHWM");

    QJsonObject r;
    r[QStringLiteral("seconds")] = t1 - t0;
    r[QStringLiteral("ended")] = ended;
    r[QStringLiteral("textExact")] =
        win.result->Text() == expectedRdapResult(base, rdapAnswer(bytes));
    r[QStringLiteral("rssBeforeMiB")] = mib(rssBefore);
    r[QStringLiteral("peakMiB")] = mib(hwm);
    r[QStringLiteral("pieces")] = double(pieces);
    report(r);
    std::_Exit(0); // skips tearing down a large document
}

// The floor for that answer: parsing it, and one setPlainText of the text the box shows.
int rdapFloor(qsizetype bytes) {
    MeasuredWindow win(0);
    const QByteArray answer = rdapAnswer(bytes);
    qsizetype column = 0;
    const QString shown = TextBox::displayForm(
        expectedRdapResult(QStringLiteral("http://127.0.0.1:1/"), answer), column);
    TextBox *box = freshBox(win);

    const auto [rssBefore, t0] = startClock();
    const QJsonDocument parsed = QJsonDocument::fromJson(answer);
    box->setPlainText(shown);
    settle(box);
    const double t1 = monoSeconds();
    const qint64 hwm = statusKb("VmHWM");

    QJsonObject r;
    r[QStringLiteral("seconds")] = t1 - t0;
    r[QStringLiteral("parsed")] = parsed.isObject();
    r[QStringLiteral("answerBytes")] = double(answer.size());
    r[QStringLiteral("rssBeforeMiB")] = mib(rssBefore);
    r[QStringLiteral("peakMiB")] = mib(hwm);
    report(r);
    std::_Exit(0);
}

// "auto" for a domain until the query has ended and the box is painted, over RDAP (registry
// and registrar) or over WHOIS (IANA, registry, registrar), the bootstrap file already fetched
// by one lookup before.
int autoIntake(bool overRdap, qsizetype bytes, quint16 registryPort, quint16 registrarPort,
               quint16 whoisPort) {
    MeasuredWindow win(whoisPort);
    Winsock &ws = win.w.winsock();
    ws.setTestRdapBootstrap(QUrl(QStringLiteral("http://%1:%2/").arg(Server).arg(registryPort)));
    ws.setTestHosts({{QStringLiteral("whois.iana.org"), QStringLiteral("127.0.0.1")},
                     {QString::fromLatin1(AutoRegistryWhois), QStringLiteral("127.0.0.2")},
                     {QString::fromLatin1(AutoRegistrarWhois), QStringLiteral("127.0.0.3")}});
    win.server->setEditText(QStringLiteral("auto"));
    win.get<QLineEdit>("txtSearchText")
        ->setText(QString::fromLatin1(overRdap ? AutoRdapQuery : AutoWhoisQuery));
    win.search->click();
    const bool warmed = win.runUntilEnded(60);
    // The measured Search starts from an empty box, as the floor's does.
    win.result->SetText(QString());
    settle(win.result);
    qint64 pieces = 0;
    QObject::connect(&ws, &Winsock::DataArrival, &win.w, [&] { ++pieces; });

    const auto [rssBefore, t0] = startClock();
    win.search->click();
    const bool ended = win.runUntilEnded(60);
    settle(win.result);
    const double t1 = monoSeconds();
    const qint64 hwm = statusKb("VmHWM");

    QJsonObject r;
    r[QStringLiteral("seconds")] = t1 - t0;
    r[QStringLiteral("ended")] = warmed && ended;
    r[QStringLiteral("textExact")] =
        win.result->Text() == (overRdap ? expectedAutoRdap(registryPort, registrarPort, bytes)
                                        : expectedAutoWhois(bytes));
    r[QStringLiteral("rssBeforeMiB")] = mib(rssBefore);
    r[QStringLiteral("peakMiB")] = mib(hwm);
    r[QStringLiteral("pieces")] = double(pieces);
    report(r);
    std::_Exit(0);
}

// The floor for that: the same requests or exchanges one after the other, by
// QNetworkAccessManager or QTcpSocket alone, and one setPlainText of the text the box shows.
int autoFloor(bool overRdap, qsizetype bytes, quint16 registryPort, quint16 registrarPort,
              quint16 whoisPort) {
    MeasuredWindow win(0);
    qsizetype column = 0;
    const QString shown = TextBox::displayForm(
        overRdap ? expectedAutoRdap(registryPort, registrarPort, bytes) : expectedAutoWhois(bytes),
        column);
    TextBox *box = freshBox(win);
    QNetworkAccessManager network;
    qint64 received = 0;

    const auto [rssBefore, t0] = startClock();
    if (overRdap) {
        const QUrl urls[] = {QUrl(QStringLiteral("http://%1:%2/%3")
                                      .arg(Server)
                                      .arg(registryPort)
                                      .arg(QLatin1String(AutoRegistryPath))),
                             QUrl(QStringLiteral("http://%1:%2/%3")
                                      .arg(Server)
                                      .arg(registrarPort)
                                      .arg(QLatin1String(AutoRegistrarPath)))};
        for (const QUrl &url : urls) {
            QNetworkReply *reply = network.get(QNetworkRequest(url));
            QEventLoop loop;
            QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            loop.exec();
            received += reply->readAll().size();
            delete reply;
        }
    } else {
        const QByteArray queries[] = {"example\r\n", QByteArray(AutoWhoisQuery) + "\r\n",
                                      QByteArray(AutoWhoisQuery) + "\r\n"};
        for (int i = 0; i < 3; ++i) {
            QTcpSocket socket;
            QByteArray answer;
            QEventLoop loop;
            QObject::connect(&socket, &QTcpSocket::connected, &loop,
                             [&] { socket.write(queries[i]); });
            QObject::connect(&socket, &QTcpSocket::readyRead, &loop,
                             [&] { answer += socket.readAll(); });
            QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
            socket.connectToHost(QStringLiteral("127.0.0.%1").arg(i + 1), whoisPort);
            loop.exec();
            answer += socket.readAll();
            received += answer.size();
        }
    }
    box->setPlainText(shown);
    settle(box);
    const double t1 = monoSeconds();
    const qint64 hwm = statusKb("VmHWM");

    QJsonObject r;
    r[QStringLiteral("seconds")] = t1 - t0;
    r[QStringLiteral("receivedBytes")] = double(received);
    r[QStringLiteral("rssBeforeMiB")] = mib(rssBefore);
    r[QStringLiteral("peakMiB")] = mib(hwm);
    report(r);
    std::_Exit(0);
}

int floorBox(qsizetype bytes, AnswerText text) {
    MeasuredWindow win(0);
    qsizetype column = 0;
    QString shown =
        TextBox::displayForm(expectedResult(Server, whoisAnswer(bytes, text), text), column);
    TextBox *box = freshBox(win);

    const auto [rssBefore, t0] = startClock();
    box->setPlainText(shown);
    settle(box);
    const double t1 = monoSeconds();
    const qint64 hwm = statusKb("VmHWM");

    QJsonObject r;
    r[QStringLiteral("seconds")] = t1 - t0;
    r[QStringLiteral("rssBeforeMiB")] = mib(rssBefore);
    r[QStringLiteral("peakMiB")] = mib(hwm);
    r[QStringLiteral("blocks")] = box->blockCount();
    report(r);
    return 0;
}

// A box that shows each piece by setting its whole text anew.
int naiveBox(qsizetype bytes, double budgetSeconds) {
    MeasuredWindow win(0);
    const QByteArray answer = whoisAnswer(bytes);
    const QString full = expectedResult(Server, QByteArray());
    TextBox *box = freshBox(win);

    const qint64 total = 1 + (answer.size() + ChunkSize - 1) / ChunkSize;
    resetPeakRss();
    const qint64 rssBefore = statusKb("VmRSS");
    QString soFar;
    qsizetype column = 0;
    qint64 done = 0;
    const double t0 = monoSeconds();
    for (qint64 i = 0; i < total; ++i) {
        if (i == 0)
            soFar += TextBox::displayForm(full, column);
        else
            soFar += TextBox::displayForm(
                QueryForm::lfToCrLf(QString::fromUtf8(answer.mid((i - 1) * ChunkSize, ChunkSize))),
                column);
        box->setPlainText(soFar);
        QCoreApplication::processEvents();
        ++done;
        if (monoSeconds() - t0 > budgetSeconds)
            break;
    }
    settle(box);
    const double t1 = monoSeconds();
    const qint64 hwm = statusKb("VmHWM");

    // Past the budget, the rest is estimated: piece i costs in proportion to the text so far.
    const double doneWork = double(done) * double(done + 1) / 2;
    const double allWork = double(total) * double(total + 1) / 2;
    QJsonObject r;
    r[QStringLiteral("seconds")] = t1 - t0;
    r[QStringLiteral("complete")] = done == total;
    r[QStringLiteral("piecesDone")] = double(done);
    r[QStringLiteral("pieces")] = double(total);
    r[QStringLiteral("estimatedSeconds")] = (t1 - t0) * allWork / doneWork;
    r[QStringLiteral("rssBeforeMiB")] = mib(rssBefore);
    r[QStringLiteral("peakMiB")] = mib(hwm);
    report(r);
    return 0;
}

// Finds a word that stands only at the very end of an answer of `bytes` bytes: Next in the Find
// window, from the top of the result box until the match is selected, scrolled into view and
// painted. Beside it the floor for that answer, one setPlainText of what the box shows.
int findAtEnd(qsizetype bytes) {
    MeasuredWindow win(0);
    const QByteArray marker = "quokka"; // in no answer line the generator writes
    const QString text =
        expectedResult(Server, whoisAnswer(bytes - marker.size() - 1) + marker + '\n');

    qsizetype column = 0;
    const QString shown = TextBox::displayForm(text, column);
    TextBox *fresh = freshBox(win);
    const double f0 = monoSeconds();
    fresh->setPlainText(shown);
    settle(fresh);
    const double f1 = monoSeconds();
    delete fresh;
    win.result->show();

    win.result->SetText(text);
    settle(win.result);
    FindWindow &find = win.w.findWindow();
    find.present();
    auto *field = find.findChild<QLineEdit *>(QStringLiteral("txtFind"));
    auto *next = find.findChild<QPushButton *>(QStringLiteral("btnNext"));
    field->setText(QString::fromLatin1(marker));
    QCoreApplication::processEvents();

    const double t0 = monoSeconds();
    next->click();
    settle(win.result);
    const double t1 = monoSeconds();

    const QTextCursor found = win.result->textCursor();
    const QRect cursorAt = win.result->cursorRect();
    QJsonObject r;
    r[QStringLiteral("seconds")] = t1 - t0;
    r[QStringLiteral("floorSeconds")] = f1 - f0;
    r[QStringLiteral("foundAtEnd")] =
        found.selectedText() == QString::fromLatin1(marker) &&
        found.position() == win.result->document()->characterCount() - 2 &&
        win.result->viewport()->rect().contains(cursorAt.center());
    r[QStringLiteral("blocks")] = win.result->blockCount();
    report(r);
    std::_Exit(0); // skips tearing down a very large document
}

int sweepWait(quint16 port, double windowSeconds) {
    MeasuredWindow win(port);
    win.server->clear();
    for (int i = 1; i <= 8; ++i)
        win.server->addItem(QStringLiteral("127.0.0.%1").arg(i));
    win.server->setCurrentIndex(0);
    win.all->setChecked(true);

    struct {
        double cpu = 0, wall = 0;
        bool sweeping = false;
    } start;
    QTimer::singleShot(0, win.search, &QPushButton::click);
    // Measured from one second into the wait on the first (silent) server.
    QTimer::singleShot(1000, &win.w, [&] {
        start.cpu = cpuSeconds();
        start.wall = monoSeconds();
        start.sweeping = win.w.query().sweeping();
        QTimer::singleShot(int(windowSeconds * 1000), Qt::PreciseTimer, &win.w, [&] {
            const double cpu = cpuSeconds() - start.cpu;
            const double wall = monoSeconds() - start.wall;
            QJsonObject r;
            r[QStringLiteral("cpuSeconds")] = cpu;
            r[QStringLiteral("wallSeconds")] = wall;
            r[QStringLiteral("ratio")] = cpu / wall;
            r[QStringLiteral("sweeping")] = start.sweeping && win.w.query().sweeping();
            r[QStringLiteral("connected")] = win.w.winsock().State() == Winsock::sckConnected;
            r[QStringLiteral("status")] = win.status->text();
            report(r);
            std::_Exit(0); // ends the sweep's wait too
        });
    });
    return QApplication::exec();
}

// Marks when the event loop starts delivering a socket notification or a queued call, so the
// handler that runs inside it can be timed from outside the window.
class EventClock : public QObject {
public:
    double lastStart = 0;
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::SockAct || e->type() == QEvent::MetaCall)
            lastStart = monoSeconds();
        return false;
    }
};

int stall(quint16 port, double capSeconds) {
    MeasuredWindow win(port);
    EventClock clock;
    qApp->installEventFilter(&clock);

    bool measuring = false;
    double last = 0, worst = 0, worstAt = 0, t0 = 0;
    // Time spent in DataArrival handlers, in all and since the timer last fired.
    double handlerTotal = 0, handlerAtLastFire = 0, worstGapHandler = 0;
    int piecesAtLastFire = 0, worstGapPieces = 0;
    qint64 pieces = 0;
    int fires = 0, over50 = 0, over20 = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        const double now = monoSeconds();
        if (measuring && last > 0) {
            const double late = now - last - 0.010;
            ++fires;
            over50 += late > 0.050;
            over20 += late > 0.020;
            if (late > worst) {
                worst = late;
                worstAt = now - t0;
                worstGapHandler = handlerTotal - handlerAtLastFire;
                worstGapPieces = int(pieces - piecesAtLastFire);
            }
        }
        last = now;
        handlerAtLastFire = handlerTotal;
        piecesAtLastFire = int(pieces);
    });

    qint64 largestPiece = 0, slowestPieceBytes = 0;
    double slowestPiece = 0;
    QObject::connect(&win.w.winsock(), &Winsock::DataArrival, &win.w, [&](qint32 n) {
        const double spent = monoSeconds() - clock.lastStart;
        ++pieces;
        largestPiece = std::max<qint64>(largestPiece, n);
        handlerTotal += spent;
        if (spent > slowestPiece) {
            slowestPiece = spent;
            slowestPieceBytes = n;
        }
    });

    tick.start();
    QCoreApplication::processEvents();
    measuring = true;
    t0 = monoSeconds();
    win.search->click();
    const bool ended = win.runUntilEnded(capSeconds + 30);
    const double t1 = monoSeconds();
    measuring = false;

    QJsonObject r;
    r[QStringLiteral("worstMs")] = worst * 1000;
    r[QStringLiteral("worstAtSeconds")] = worstAt;
    r[QStringLiteral("worstGapHandlerMs")] = worstGapHandler * 1000;
    r[QStringLiteral("worstGapPieces")] = worstGapPieces;
    r[QStringLiteral("fires")] = fires;
    r[QStringLiteral("over50")] = over50;
    r[QStringLiteral("over20")] = over20;
    r[QStringLiteral("ended")] = ended;
    r[QStringLiteral("seconds")] = t1 - t0;
    r[QStringLiteral("receivedChars")] = double(win.result->Text().size());
    r[QStringLiteral("pieces")] = double(pieces);
    r[QStringLiteral("largestPiece")] = double(largestPiece);
    r[QStringLiteral("slowestPieceMs")] = slowestPiece * 1000;
    r[QStringLiteral("slowestPieceBytes")] = double(slowestPieceBytes);
    r[QStringLiteral("handlerSeconds")] = handlerTotal;
    r[QStringLiteral("peakMiB")] = mib(statusKb("VmHWM"));
    report(r);
    std::_Exit(0); // skips tearing down a very large document
}

double g_entry = 0; // when childMain began

// Shows the main window (as the program's main() does), a bare dialog of the same size, or
// that dialog with one label (the least a window showing text costs), and prints
// "shown APP BUILD PAINT": milliseconds from childMain's start until the application object,
// the window and its first paint were done.
int startup(const QString &kind, int argc, char *argv[]) {
    QString why;
    if (!displayAvailable(QString::fromLocal8Bit(argv[0]), &why))
        return 1;
    // As the program's main() does; the bare and one-label dialogs start without it.
    std::optional<FontConfigPreload> fonts;
    std::optional<DisplayConnectGuard> guard;
    if (kind == QLatin1String("main")) {
        fonts.emplace();
        guard.emplace(QString::fromLocal8Bit(argv[0]));
    }
    QApplication app(argc, argv);
    if (guard)
        guard->release();
    describeApplication();
    static double appDone = 0, built = 0;
    appDone = monoSeconds();

    class FirstPaint : public QObject {
    public:
        bool eventFilter(QObject *, QEvent *e) override {
            if (e->type() == QEvent::Paint && !m_seen) {
                m_seen = true;
                QTimer::singleShot(0, [] {
                    auto ms = [](double t) {
                        return QByteArray::number((t - g_entry) * 1000, 'f', 3);
                    };
                    const QByteArray line =
                        "shown " + ms(appDone) + ' ' + ms(built) + ' ' + ms(monoSeconds()) + '\n';
                    (void)!write(1, line.constData(), size_t(line.size()));
                    std::_Exit(0);
                });
            }
            return false;
        }

    private:
        bool m_seen = false;
    } firstPaint;

    QTimer::singleShot(30 * 1000, [] { std::_Exit(4); });
    if (kind == QLatin1String("main")) {
        fonts->wait();
        frmMain window;
        built = monoSeconds();
        window.installEventFilter(&firstPaint);
        window.show();
        return QApplication::exec();
    }
    QDialog window;
    window.setWindowTitle(QStringLiteral("Lumbra"));
    window.resize(442, 400); // the main window's size at 96 dpi
    if (kind == QLatin1String("label"))
        new QLabel(QStringLiteral("Search text:"), &window);
    built = monoSeconds();
    window.installEventFilter(&firstPaint);
    window.show();
    return QApplication::exec();
}

} // namespace

int childMain(int argc, char *argv[]) {
    g_entry = monoSeconds();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString kind = QString::fromLocal8Bit(argc > 2 ? argv[2] : "");
    auto arg = [&](int i) { return QString::fromLocal8Bit(argc > i ? argv[i] : ""); };
    if (kind == QLatin1String("startup"))
        return startup(arg(3), argc, argv);

    QApplication app(argc, argv);
    if (kind == QLatin1String("intake"))
        return intake(arg(3).toLongLong(), quint16(arg(4).toUInt()), answerTextFromArg(arg(5)));
    if (kind == QLatin1String("floor"))
        return floorBox(arg(3).toLongLong(), answerTextFromArg(arg(4)));
    if (kind == QLatin1String("rdapintake"))
        return rdapIntake(arg(3).toLongLong(), quint16(arg(4).toUInt()));
    if (kind == QLatin1String("rdapfloor"))
        return rdapFloor(arg(3).toLongLong());
    if (kind == QLatin1String("autointake") || kind == QLatin1String("autofloor")) {
        const bool overRdap = arg(3) == QLatin1String("rdap");
        const auto run = kind == QLatin1String("autointake") ? autoIntake : autoFloor;
        return run(overRdap, arg(4).toLongLong(), quint16(arg(5).toUInt()),
                   quint16(arg(6).toUInt()), quint16(arg(7).toUInt()));
    }
    if (kind == QLatin1String("naive"))
        return naiveBox(arg(3).toLongLong(), arg(4).toDouble());
    if (kind == QLatin1String("find"))
        return findAtEnd(arg(3).toLongLong());
    if (kind == QLatin1String("sweep"))
        return sweepWait(quint16(arg(3).toUInt()), arg(4).toDouble());
    if (kind == QLatin1String("pastlimit"))
        return pastLimit(quint16(arg(3).toUInt()));
    if (kind == QLatin1String("stall"))
        return stall(quint16(arg(3).toUInt()), arg(4).toDouble());
    std::fprintf(stderr, "unknown child kind\n");
    return 2;
}

} // namespace bench

// The loopback servers, each in a process of its own, so that neither their memory nor their
// CPU time counts for the window being measured.
#include "answer.h"
#include "fakehttp.h"
#include "fakewhois.h"
#include "modes.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QList>
#include <QTimer>

#include <cstdio>

namespace bench {

namespace {

// Loopback addresses 127.0.0.1 to 127.0.0.count all listening on one port.
bool listenShared(QList<FakeWhois *> &servers, int count) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        qDeleteAll(servers);
        servers.clear();
        quint16 port = 0;
        bool ok = true;
        for (int i = 1; i <= count && ok; ++i) {
            auto *server = new FakeWhois;
            servers.append(server);
            ok = server->listen(QHostAddress(QStringLiteral("127.0.0.%1").arg(i)), port);
            port = server->port();
        }
        if (ok)
            return true;
    }
    return false;
}

} // namespace

int serverMain(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(2);
    const QString mode = args.value(0);
    if (mode == QLatin1String("rdap")) {
        // The RDAP answer over HTTP, in one piece: the client reads it as it comes.
        FakeHttp http;
        if (!http.listen()) {
            std::fprintf(stderr, "cannot listen on loopback\n");
            return 1;
        }
        http.json(QByteArray("/") + RdapPath, rdapAnswer(args.value(1).toLongLong()));
        std::printf("port %u\n", unsigned(http.port()));
        std::fflush(stdout);
        QTimer::singleShot(300 * 1000, &app, &QCoreApplication::quit);
        return QCoreApplication::exec();
    }

    if (mode == QLatin1String("auto")) {
        // "auto": IANA's bootstrap file and the registry's RDAP answer on one HTTP server, the
        // registrar's on another; IANA's, the registry's and the registrar's WHOIS on
        // 127.0.0.1, .2 and .3 of one port. "port HTTP1 HTTP2 WHOIS".
        const qint64 bytes = args.value(1).toLongLong();
        FakeHttp registry, registrar;
        QList<FakeWhois *> servers;
        if (!registry.listen() || !registrar.listen() || !listenShared(servers, 3)) {
            std::fprintf(stderr, "cannot listen on loopback\n");
            return 1;
        }
        registry.json("/dns.json", R"({"version": "1.0", "services": [[["com"], [")" +
                                       registry.url(QStringLiteral("reg/")).toEncoded() +
                                       R"("]]]})");
        const QByteArray answer = rdapDomainAnswer(
            bytes, registrar.url(QString::fromLatin1(AutoRegistrarPath)).toEncoded());
        registry.json(QByteArray("/") + AutoRegistryPath, answer);
        registrar.json(QByteArray("/") + AutoRegistrarPath, answer);
        const QByteArray answers[] = {autoIanaAnswer(bytes), autoRegistryAnswer(bytes),
                                      autoRegistrarAnswer(bytes)};
        for (int i = 0; i < 3; ++i)
            servers[i]->feed(answers[i], bytes, {ChunkSize, 2, false});
        std::printf("port %u %u %u\n", unsigned(registry.port()), unsigned(registrar.port()),
                    unsigned(servers.first()->port()));
        std::fflush(stdout);
        QTimer::singleShot(300 * 1000, &app, &QCoreApplication::quit);
        const int rc = QCoreApplication::exec();
        qDeleteAll(servers);
        return rc;
    }

    QByteArray block;
    qint64 total = 0;
    double seconds = 0;
    bool cycle = false;
    if (mode == QLatin1String("answer")) {
        total = args.value(1).toLongLong();
        block = whoisAnswer(total, answerTextFromArg(args.value(2)));
    } else if (mode == QLatin1String("flood")) {
        total = args.value(1).toLongLong();
        seconds = args.value(2).toDouble();
        block = whoisAnswer(4 * MiB);
        cycle = true;
    } else if (mode != QLatin1String("silent")) {
        std::fprintf(stderr, "unknown server mode\n");
        return 2;
    }

    QList<FakeWhois *> servers;
    if (!listenShared(servers, mode == QLatin1String("silent") ? 8 : 1)) {
        std::fprintf(stderr, "cannot listen on loopback\n");
        return 1;
    }
    // Each answer in writes of ChunkSize with at most two of them queued, then the close; a
    // flood repeats its block until `total` bytes or `seconds` have gone by.
    for (FakeWhois *server : servers) {
        if (block.isEmpty()) // silent: takes the request and never answers
            server->staySilent();
        else
            server->feed(block, total, {ChunkSize, 2, cycle, seconds});
    }
    std::printf("port %u\n", unsigned(servers.first()->port()));
    std::fflush(stdout);
    QTimer::singleShot(300 * 1000, &app, &QCoreApplication::quit); // never outlives the bench
    const int rc = QCoreApplication::exec();
    qDeleteAll(servers);
    return rc;
}

} // namespace bench

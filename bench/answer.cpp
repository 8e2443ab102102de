#include "answer.h"

#include "query/query.h"

#include <array>
#include <random>

namespace bench {

namespace {
constexpr std::array<const char *, 14> Keys = {
    "inetnum:", "netname:", "descr:",   "country:",       "admin-c:", "tech-c:",  "status:",
    "mnt-by:",  "created:", "remarks:", "last-modified:", "source:",  "abuse-c:", "org:"};
constexpr std::array<const char *, 24> Words = {
    "Network",  "Coordination", "Centre",          "Amsterdam", "Singel",     "Registry",
    "ASSIGNED", "PA",           "RIPE-NCC-HM-MNT", "Internet",  "Services",   "backbone",
    "transit",  "customers",    "Frankfurt",       "Vienna",    "hostmaster", "abuse",
    "contact",  "maintained",   "allocation",      "routing",   "policy",     "infrastructure"};
} // namespace

QByteArray whoisAnswer(qsizetype bytes) {
    std::mt19937 rng(43); // fixed seed: the same answer on every run and in every process
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    QByteArray out;
    out.reserve(bytes + 128);
    int lineInObject = 0;
    while (out.size() < bytes) {
        if (lineInObject == 0) {
            out += "% Information related to '193.0." + QByteArray::number(pick(0, 255)) +
                   ".0 - 193.0." + QByteArray::number(pick(0, 255)) + ".255' (AS3333 route)\n";
        }
        QByteArray line = QByteArray(Keys[std::size_t(pick(0, int(Keys.size()) - 1))]);
        line = line.leftJustified(16, ' ');
        const int length = pick(60, 80);
        while (line.size() < length) {
            if (pick(0, 4) == 0)
                line += QByteArray::number(pick(1, 99999));
            else
                line += Words[std::size_t(pick(0, int(Words.size()) - 1))];
            line += ' ';
        }
        line.truncate(length);
        out += line.trimmed();
        out += '\n';
        if (++lineInObject == 12) {
            out += '\n';
            lineInObject = 0;
        }
    }
    out.truncate(bytes);
    out[bytes - 1] = '\n';
    return out;
}

QString expectedResult(const QString &server, const QByteArray &answer) {
    const QString crlf = QStringLiteral("\r\n");
    return crlf + QString(56, QLatin1Char('-')) + crlf + QStringLiteral("Search results of: ") +
           server + crlf + crlf + QueryForm::lfToCrLf(QString::fromLatin1(answer));
}

} // namespace bench

#include "answer.h"

#include "query/query.h"
#include "rdap/rdap.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
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
// Names and words as registries in many countries write them.
constexpr std::array<const char *, 24> WordsUtf8 = {
    "Bor\u00E5s",
    "M\u00FCller",
    "S\u00E3o Paulo",
    "Z\u00FCrich",
    "\u0141\u00F3d\u017A",
    "\u010Cesk\u00E9",
    "\u041C\u043E\u0441\u043A\u0432\u0430",
    "\u0421\u0435\u0442\u044C",
    "\u0391\u03B8\u03AE\u03BD\u03B1",
    "\u0627\u0644\u0642\u0627\u0647\u0631\u0629",
    "\u0926\u093F\u0932\u094D\u0932\u0940",
    "\u5317\u4EAC",
    "\u6771\u4EAC\u90FD",
    "\u30CD\u30C3\u30C8\u30EF\u30FC\u30AF",
    "\uC11C\uC6B8",
    "\uAD6C\uAE00\uCF54\uB9AC\uC544",
    "Network",
    "Registry",
    "ASSIGNED",
    "hostmaster",
    "\u00C9tablissement",
    "Stra\u00DFe",
    "\u20AC",
    "\U0001F310",
};

// Japanese as JPNIC writes it, with ASCII between.
constexpr std::array<const char *, 12> WordsJapanese = {
    "\u6771\u4EAC\u90FD",
    "\u682A\u5F0F\u4F1A\u793E",
    "\u30CD\u30C3\u30C8\u30EF\u30FC\u30AF",
    "\u767B\u9332\u8005\u540D",
    "\u5927\u962A",
    "\u60C5\u5831",
    "\u7BA1\u7406\u8005",
    "Network",
    "JPNIC",
    "ASSIGNED",
    "hostmaster",
    "Tokyo",
};

// Cuts UTF-8 text to at most `size` bytes, never inside a character.
void truncateAtCharacter(QByteArray &text, qsizetype size) {
    while (size > 0 && size < text.size() &&
           (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80)
        --size;
    text.truncate(size);
}
} // namespace

QString answerTextArg(AnswerText text) {
    switch (text) {
    case AnswerText::Utf8:
        return QStringLiteral("utf8");
    case AnswerText::Iso2022Jp:
        return QStringLiteral("iso-2022-jp");
    case AnswerText::Ascii:
        break;
    }
    return QStringLiteral("ascii");
}

AnswerText answerTextFromArg(const QString &arg) {
    if (arg == QLatin1String("utf8"))
        return AnswerText::Utf8;
    if (arg == QLatin1String("iso-2022-jp"))
        return AnswerText::Iso2022Jp;
    return AnswerText::Ascii;
}

QByteArray whoisAnswer(qsizetype bytes, AnswerText text) {
    std::mt19937 rng(43); // fixed seed: the same answer on every run and in every process
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    QByteArray out;
    out.reserve(bytes + 128);
    QStringEncoder jis("ISO-2022-JP");
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
            else if (text == AnswerText::Iso2022Jp)
                line +=
                    QByteArray(WordsJapanese[std::size_t(pick(0, int(WordsJapanese.size()) - 1))]);
            else if (text == AnswerText::Utf8)
                line += QByteArray(WordsUtf8[std::size_t(pick(0, int(WordsUtf8.size()) - 1))]);
            else
                line += Words[std::size_t(pick(0, int(Words.size()) - 1))];
            line += ' ';
        }
        truncateAtCharacter(line, length);
        if (text == AnswerText::Iso2022Jp) {
            // Each line ends in ASCII, so the answer can stop after any of them.
            const QByteArray encoded = jis.encode(QString::fromUtf8(line.trimmed() + '\n'));
            if (out.size() + encoded.size() > bytes - 1)
                break;
            out += encoded;
        } else {
            out += line.trimmed();
            out += '\n';
        }
        if (++lineInObject == 12) {
            out += '\n';
            lineInObject = 0;
        }
    }
    // The last line ends early where it would cut a character, filled up with blanks.
    truncateAtCharacter(out, bytes - 1);
    out += QByteArray(bytes - 1 - out.size(), ' ');
    out += '\n';
    return out;
}

QString expectedResult(const QString &server, const QByteArray &answer, AnswerText text) {
    const QString crlf = QStringLiteral("\r\n");
    const QString read = text == AnswerText::Iso2022Jp
                             ? QStringDecoder("ISO-2022-JP").decode(answer)
                             : QString::fromUtf8(answer);
    return crlf + QString(56, QLatin1Char('-')) + crlf + QStringLiteral("Search results of: ") +
           server + crlf + crlf + QueryForm::lfToCrLf(read);
}

QByteArray rdapAnswer(qsizetype bytes) {
    QFile file(QStringLiteral(LUMBRA_TEST_DATA "/rdap/answers/entity_arin_GOVI.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QJsonObject entity = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonArray recorded = entity.value(QStringLiteral("networks")).toArray();
    if (recorded.isEmpty())
        return {};
    QJsonArray networks;
    QByteArray answer;
    // Grows the array by its share of what is still missing until the answer is large enough.
    while (answer.size() < bytes) {
        const qsizetype each =
            answer.isEmpty() ? 2048 : answer.size() / std::max<qsizetype>(1, networks.size());
        const qsizetype more = std::max<qsizetype>(1, (bytes - answer.size()) / each + 1);
        for (qsizetype i = 0; i < more; ++i) {
            QJsonObject network = recorded.at(networks.size() % recorded.size()).toObject();
            network[QStringLiteral("handle")] = network.value(QStringLiteral("handle")).toString() +
                                                QLatin1Char('-') + QString::number(networks.size());
            networks.append(network);
        }
        entity[QStringLiteral("networks")] = networks;
        answer = QJsonDocument(entity).toJson(QJsonDocument::Indented);
    }
    return answer;
}

QString expectedRdapResult(const QString &base, const QByteArray &answer) {
    QByteArray shown = "RDAP " + base.toUtf8() + RdapPath + '\n';
    rdap::renderAnswer(answer, shown);
    return expectedResult(base, shown);
}

QByteArray rdapDomainAnswer(qsizetype bytes, const QByteArray &relatedHref) {
    QFile file(
        QStringLiteral(LUMBRA_TEST_DATA "/rdap/answers/domain_com_google.com_verisign.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray recorded = file.readAll();
    recorded.replace("https://rdap.markmonitor.com/rdap/domain/GOOGLE.COM", relatedHref);
    QJsonObject domain = QJsonDocument::fromJson(recorded).object();
    const QJsonArray servers = domain.value(QStringLiteral("nameservers")).toArray();
    if (servers.isEmpty())
        return {};
    QJsonArray nameservers;
    QByteArray answer;
    while (answer.size() < bytes) {
        const qsizetype each =
            answer.isEmpty() ? 512 : answer.size() / std::max<qsizetype>(1, nameservers.size());
        const qsizetype more = std::max<qsizetype>(1, (bytes - answer.size()) / each + 1);
        for (qsizetype i = 0; i < more; ++i) {
            QJsonObject server = servers.at(nameservers.size() % servers.size()).toObject();
            server[QStringLiteral("ldhName")] =
                QStringLiteral("NS%1.GOOGLE.COM").arg(nameservers.size());
            nameservers.append(server);
        }
        domain[QStringLiteral("nameservers")] = nameservers;
        answer = QJsonDocument(domain).toJson(QJsonDocument::Indented);
    }
    return answer;
}

QByteArray answerBeginning(const QByteArray &first, qsizetype bytes) {
    return first + whoisAnswer(bytes - first.size());
}

QByteArray autoIanaAnswer(qsizetype bytes) {
    return answerBeginning(QByteArray("domain: EXAMPLE\nrefer: ") + AutoRegistryWhois + "\n\n",
                           bytes);
}

QByteArray autoRegistryAnswer(qsizetype bytes) {
    return answerBeginning(QByteArray("Domain Name: EXAMPLE.EXAMPLE\nRegistrar WHOIS Server: ") +
                               AutoRegistrarWhois + "\n",
                           bytes);
}

QByteArray autoRegistrarAnswer(qsizetype bytes) {
    return answerBeginning("Registrar: Example Registrar\n", bytes);
}

QString expectedAutoRdap(quint16 registryPort, quint16 registrarPort, qsizetype bytes) {
    const QByteArray registrar = "http://127.0.0.1:" + QByteArray::number(registrarPort) + '/';
    QByteArray shown =
        "RDAP http://127.0.0.1:" + QByteArray::number(registryPort) + '/' + AutoRegistryPath + '\n';
    rdap::renderAnswer(rdapDomainAnswer(bytes, registrar + AutoRegistrarPath), shown);
    shown += "\nRDAP " + registrar + AutoRegistrarPath + '\n';
    rdap::renderAnswer(rdapDomainAnswer(bytes, registrar + AutoRegistrarPath), shown);
    return expectedResult(QStringLiteral("auto"), shown);
}

QString expectedAutoWhois(qsizetype bytes) {
    const QByteArray shown = "No RDAP service for \".example\" in IANA's dns.json\nWHOIS " +
                             QByteArray(AutoRegistryWhois) + '\n' + autoRegistryAnswer(bytes) +
                             "\nWHOIS " + AutoRegistrarWhois + '\n' + autoRegistrarAnswer(bytes);
    return expectedResult(QStringLiteral("auto"), shown);
}

} // namespace bench

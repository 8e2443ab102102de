// An RDAP answer body to text. The bytes go to renderAnswer and renderError as a server's
// answer would.
//
// Checks: both return (nothing for a body that is not JSON, as QJsonDocument reads it); for a
// body that parses, every string and number of it stands in the text, each line of a
// multi-line string on its own (an event action or role may begin with a capital; a vCard's
// marker, property names and value types are shown by its labels; a domain's head names its
// events and the registrar's IANA ID by its labels; the class of a nested entity or nameserver
// and a vCard's version are told by the heading; see rdapvalues.h); every line the text holds
// that offers a base URL to search on offers an http or https URL that stands in that line; a
// domain's text begins with its name, and each well-formed redaction has its line; written with
// its hooks, the text is the same, each stage of it begins it, and its own link lines, had ahead,
// stand in it. The seeds
// hold a domain's head and RFC 9537 redactions in their forms.
#include "rdap/rdap.h"
#include "rdapvalues.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

void check(bool ok, const char *what) {
    if (!ok)
        fail(what);
}

void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (type != QtFatalMsg)
        return;
    std::fprintf(stderr, "Qt fatal: %s\n", message.toLocal8Bit().constData());
    std::abort();
}

void checkText(const QString &text, const QJsonDocument &document) {
    check(text.isEmpty() || text.endsWith(QLatin1Char('\n')), "the text ends in LF");
    check(rdapvalues::missing(document, text).isEmpty(),
          "every number and every line of a string value stands in the text");
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        const QString base = rdap::relatedBase(line);
        if (base.isEmpty())
            continue;
        const QUrl url(base, QUrl::StrictMode);
        check(line.contains(base), "an offered base URL stands in its line");
        check(url.isValid() && !url.host().isEmpty() &&
                  (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")),
              "an offered base URL is an http or https URL");
    }
}

bool oneLine(const QJsonValue &value) {
    const QString text = value.toString();
    return value.isString() && !text.isEmpty() && !text.contains(QLatin1Char('\n')) &&
           !text.contains(QLatin1Char('\r'));
}

// A domain's answer begins with its name under the head's first label, and each well-formed
// redaction of it has its line, whatever else the answer holds.
void checkForms(const QString &text, const QJsonDocument &document) {
    const QJsonObject answer = document.object();
    if (answer.value(QLatin1String("objectClassName")) == QLatin1String("domain") &&
        oneLine(answer.value(QLatin1String("ldhName"))))
        check(text.startsWith(QLatin1String("Domain Name: ") +
                              answer.value(QLatin1String("ldhName")).toString() +
                              QLatin1Char('\n')),
              "a domain's text begins with its name");
    for (const QJsonValue &r : answer.value(QLatin1String("redacted")).toArray()) {
        const QJsonValue type =
            r.toObject().value(QLatin1String("name")).toObject().value(QLatin1String("type"));
        const QJsonValue method = r.toObject().value(QLatin1String("method"));
        if (!oneLine(type) || !(method.isUndefined() || oneLine(method)))
            continue;
        check(text.contains(QLatin1String("Redacted: ") + type.toString() + QLatin1String(" (") +
                            (method.isUndefined() ? QStringLiteral("removal") : method.toString())),
              "a redaction has its line");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv) {
    qInstallMessageHandler(quietMessages);
    static int argc = 1;
    static char *args[] = {(*argv)[0], nullptr};
    new QCoreApplication(argc, args);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray body(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    const bool parses = error.error == QJsonParseError::NoError && !document.isNull();

    const std::optional<QString> answer = rdapvalues::textOf(rdap::renderAnswer, body);
    check(answer.has_value() == parses, "an answer is text exactly when it is JSON");
    if (answer) {
        checkText(*answer, document);
        checkForms(*answer, document);
        // Shown while it is written: every stage of the text begins the whole text, and the
        // answer's own link lines, had ahead of it, stand in it.
        QList<QByteArray> stages;
        QByteArray ownLinks, text;
        rdap::renderAnswer(
            body, text, [&](const QByteArray &t) { stages.append(t); },
            [&](const QByteArray &l) { ownLinks = l; });
        check(QString::fromUtf8(text) == *answer, "a text with hooks is the text without");
        for (const QByteArray &stage : stages)
            check(text.startsWith(stage), "a stage of the text begins the whole text");
        for (const QByteArray &line : ownLinks.split('\n'))
            check(text.contains(line), "the answer's own link lines stand in its text");
    }
    const std::optional<QString> errorText = rdapvalues::textOf(rdap::renderError, body);
    check(errorText.has_value() == parses, "an error is text exactly when it is JSON");
    if (errorText)
        checkText(*errorText, document);
    return 0;
}

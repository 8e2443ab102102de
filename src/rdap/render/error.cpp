// Error bodies (RFC 9083 section 6) and the line for an HTTP status other than 200.
#include "renderer.h"

#include "rdap/rdap.h"

namespace rdap {

namespace {

// HTTP/2 has no reason phrase, and Qt speaks it wherever a server offers it: the phrase of
// RFC 9110 for the codes an RDAP server gives.
QString standardReason(int status) {
    static const std::array<std::pair<int, const char *>, 22> reasons = {{
        {301, "Moved Permanently"},
        {302, "Found"},
        {303, "See Other"},
        {304, "Not Modified"},
        {307, "Temporary Redirect"},
        {308, "Permanent Redirect"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {406, "Not Acceptable"},
        {408, "Request Timeout"},
        {410, "Gone"},
        {415, "Unsupported Media Type"},
        {422, "Unprocessable Content"},
        {429, "Too Many Requests"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
    }};
    for (const auto &[code, text] : reasons) {
        if (code == status)
            return QString::fromLatin1(text);
    }
    return QString();
}

} // namespace

QString statusLine(int status, QByteArrayView reason, QByteArrayView retryAfter) {
    QString line = QStringLiteral("HTTP ") + QString::number(status);
    QString why = QString::fromLatin1(reason).trimmed();
    if (why.isEmpty())
        why = standardReason(status);
    if (!why.isEmpty())
        line += QLatin1Char(' ') + why;
    const QString after = QString::fromLatin1(retryAfter).trimmed();
    if (!after.isEmpty()) {
        bool seconds = false;
        after.toULongLong(&seconds);
        line += QLatin1String(", retry after ") + after;
        if (seconds)
            line += QLatin1String(" s");
    }
    // One line, whatever the server put in its header.
    for (QChar &c : line) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    }
    return line + QLatin1Char('\n');
}

bool renderError(QByteArrayView body, QByteArray &text, const Written &pieces) {
    const std::optional<QJsonDocument> document = render::parse(body);
    if (!document)
        return false;
    render::Renderer renderer(text, &pieces);
    if (!document->isObject()) {
        renderer.document(*document);
        return true;
    }
    // The title and the description lines first, as the server wrote them; then the rest.
    const QJsonObject error = document->object();
    const QJsonValue title = error.value(QLatin1String("title"));
    const QJsonValue description = error.value(QLatin1String("description"));
    render::Skip written;
    if (title.isString()) {
        renderer.field(0, QStringView(), title.toString());
        written.with(u"title");
    }
    const QJsonArray lines = description.toArray();
    if (description.isString()) {
        renderer.field(0, QStringView(), description.toString());
        written.with(u"description");
    } else if (description.isArray() &&
               std::all_of(lines.begin(), lines.end(),
                           [](const QJsonValue &line) { return line.isString(); })) {
        for (const QJsonValue &line : lines)
            renderer.field(0, QStringView(), line.toString());
        written.with(u"description");
    }
    renderer.object(0, error, written);
    return true;
}

} // namespace rdap

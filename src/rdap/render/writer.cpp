#include "renderer.h"

#include <QLocale>

#include <cmath>
#include <utility>

namespace rdap::render {

namespace {

QString numberText(double number) {
    // Integers whole, without ".0" or an exponent, as far as a double holds them exactly.
    if (std::trunc(number) == number && std::fabs(number) < 1e21)
        return QString::number(number, 'f', 0);
    return QString::number(number, 'g', QLocale::FloatingPointShortest);
}

} // namespace

QString scalarText(const QJsonValue &value) {
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return numberText(value.toDouble());
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return QStringLiteral("null");
    }
}

void LineWriter::flush() {
    const qsizetype had = m_text.size();
    m_text.resize(had + m_utf8.requiredSpace(out.size()));
    const char *end = m_utf8.appendToBuffer(m_text.data() + had, out);
    m_text.truncate(end - m_text.constData());
    out.resize(0); // keeps its capacity for the next lines
    if (m_written)
        (*m_written)(m_text);
}

void LineWriter::writePending() {
    static const QString spaces(2 * MaxLevel, QLatin1Char(' '));
    const std::size_t count = std::min(std::exchange(m_pendingCount, 0), m_pending.size());
    for (std::size_t i = 0; i < count; ++i) {
        out += QStringView(spaces).first(2 * std::min(m_pending[i].level, MaxLevel));
        out += m_pending[i].label;
        out += QLatin1Char(':');
        endLine();
    }
}

void LineWriter::field(int level, QStringView label, QStringView value) {
    const auto lineEnd = [&value](qsizetype from) {
        while (from < value.size() && value[from] != QLatin1Char('\n') &&
               value[from] != QLatin1Char('\r'))
            ++from;
        return from;
    };
    qsizetype stop = lineEnd(0);
    if (stop < value.size() && label.size() > LongLabel) {
        heading(level, label);
        label = QStringView();
        ++level;
    }
    for (qsizetype start = 0;;) {
        indent(level);
        if (!label.isEmpty()) {
            out += label;
            out += stop > start ? QLatin1String(": ") : QLatin1String(":");
        }
        out += value.sliced(start, stop - start);
        endLine();
        if (stop >= value.size())
            break;
        // CR LF, CR or LF ends a line; one at the very end starts no further line.
        start = stop + (value[stop] == QLatin1Char('\r') && stop + 1 < value.size() &&
                                value[stop + 1] == QLatin1Char('\n')
                            ? 2
                            : 1);
        if (start >= value.size())
            break;
        stop = lineEnd(start);
    }
}

} // namespace rdap::render

// The RDAP renderer's rooms, one file each, all members of one class so that the walk over an
// answer calls each form's writer directly:
//
//   writer.cpp    the line writer: indentation, a value whole (a line per line of it), the
//                 UTF-8 buffer, and the text of a scalar
//   walk.cpp      the member table, the walk over an object in its order, the generic form of
//                 anything without a form of its own, and renderAnswer
//   common.cpp    the parts every object class has: events, public IDs, links, remarks and
//                 notices
//   entity.cpp    entities and their vCards
//   domain.cpp    domains' parts: nameservers, their addresses, DNSSEC
//   network.cpp   IP networks and AS numbers: their ranges
//   error.cpp     error bodies and the HTTP status line
//   related.cpp   the reading of link lines (relatedBase)
#pragma once

#include <QByteArrayView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringEncoder>
#include <QStringView>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace rdap::render {

// Deeper levels are written at this one: indentation that grew with hostile nesting would make
// the text quadratic in the answer's size.
constexpr int MaxLevel = 32;
// A label longer than this is written once, above its lines, rather than before each of them.
constexpr qsizetype LongLabel = 80;

QString scalarText(const QJsonValue &value);
inline bool isScalar(const QJsonValue &value) {
    return !value.isArray() && !value.isObject();
}

// The members an RDAP object is read by, in the order they are written: the head first (what a
// user reads first), then every other member in name order, then the tail.
enum class Phase { Head, Rest, Tail };
enum class Form {
    Field, // label: value
    List,  // label: value, a line per element
    AddressRange,
    AutnumRange,
    Events,
    Entities,
    Nameservers,
    SecureDns,
    IpAddresses,
    PublicIds,
    Vcard,
    Roles,
    Links,
    Remarks,
    Notices,
};
struct Member {
    QStringView name;
    QStringView label;
    Form form;
    Phase phase;
};
extern const std::array<Member, 29> Members;
int memberIndex(QStringView name);

// Members of an object written elsewhere already (in its heading line): by their index in
// Members or by name, and the vCard's first "fn" when it named an entity. Skipping them beats
// copying the object without them, which costs an allocation per object.
struct Skip {
    std::uint64_t members = 0;
    bool firstFn = false;
    std::array<QStringView, 6> names{};
    std::size_t nameCount = 0;
    Skip &with(QStringView name) {
        const int i = memberIndex(name);
        if (i >= 0)
            members |= std::uint64_t(1) << i;
        else if (nameCount < names.size())
            names[nameCount++] = name;
        return *this;
    }
    bool skips(QStringView key) const {
        for (std::size_t i = 0; i < nameCount; ++i) {
            if (names[i] == key)
                return true;
        }
        return false;
    }
};

// Writes the text a line at a time into a small buffer of UTF-16 that goes on, as UTF-8, into
// the caller's text whenever it is full: the whole answer never stands twice in memory, once
// in each form.
class LineWriter {
public:
    explicit LineWriter(QByteArray &text)
        : m_text(text) {
        out.reserve(FlushAt + LongLabel + 2 * MaxLevel + 2);
    }
    ~LineWriter() { flush(); }
    LineWriter(const LineWriter &) = delete;
    LineWriter &operator=(const LineWriter &) = delete;

    // label: value, a line for each line of the value (CR LF, CR or LF end one).
    void field(int level, QStringView label, QStringView value);
    void heading(int level, QStringView label) {
        indent(level);
        out += label;
        out += QLatin1Char(':');
        endLine();
    }
    void endLine() {
        out += QLatin1Char('\n');
        if (out.size() >= FlushAt)
            flush();
    }

protected:
    void indent(int level) {
        static const QString spaces(2 * MaxLevel, QLatin1Char(' '));
        out += QStringView(spaces).first(2 * std::min(level, MaxLevel));
    }

    QString out; // the lines not yet in m_text

private:
    static constexpr qsizetype FlushAt = 16 * 1024;

    void flush();

    QByteArray &m_text;
    QStringEncoder m_utf8{QStringEncoder::Utf8};
};

class Renderer : public LineWriter {
public:
    using LineWriter::LineWriter;

    // walk.cpp
    void object(int level, const QJsonObject &object, Skip skip = {});
    void generic(int level, QStringView label, const QJsonValue &value);
    void document(const QJsonDocument &document);

private:
    bool member(int level, const QJsonObject &object, const Member &m, const QJsonValue &value,
                Skip &done, const Skip &skip);
    // f for each object of an array; anything else generically under the label (written once
    // above them when it is long).
    template <typename F>
    void eachObject(int level, QStringView label, const QJsonValue &value, F f) {
        if (!value.isArray()) {
            generic(level, label, value);
            return;
        }
        bool headed = false;
        for (const QJsonValue &element : value.toArray()) {
            if (element.isObject()) {
                f(element.toObject());
            } else if (label.size() <= LongLabel) {
                generic(level, label, element);
            } else {
                if (!headed)
                    heading(level, label);
                headed = true;
                generic(level + 1, QStringView(), element);
            }
        }
    }

    // common.cpp
    void events(int level, const Member &m, const QJsonValue &value);
    void event(int level, const QJsonObject &event);
    void publicIds(int level, const Member &m, const QJsonValue &value);
    void links(int level, const Member &m, const QJsonValue &value);
    void link(int level, const QJsonObject &link);
    void notices(int level, const Member &m, const QJsonValue &value);
    void notice(int level, QStringView label, const QJsonObject &notice);

    // entity.cpp
    bool entities(int level, const Member &m, const QJsonValue &value);
    void entity(int level, const QJsonObject &entity);
    bool roles(int level, const Member &m, const QJsonValue &value);
    bool vcard(int level, const QJsonValue &value, bool skipFirstFn);
    void vcardProperty(int level, const QJsonArray &property);

    // domain.cpp
    void nameservers(int level, const Member &m, const QJsonValue &value);
    void nameserver(int level, const QJsonObject &nameserver);
    bool ipAddresses(int level, const QJsonValue &value);
    bool secureDns(int level, const QJsonValue &value);

    // network.cpp
    bool range(int level, const QJsonObject &object, const Member &m, const QJsonValue &value,
               Skip &done, const Skip &skip);

    QString m_line; // a link's line, kept from link to link
};

// The body as JSON; nullopt when it is none.
std::optional<QJsonDocument> parse(QByteArrayView body);

} // namespace rdap::render

// The RDAP renderer's rooms, one file each, all members of one class so that the walk over an
// answer calls each form's writer directly:
//
//   writer.cpp    the line writer: indentation, a value whole (a line per line of it), the
//                 UTF-8 buffer, and the text of a scalar
//   walk.cpp      the member table, the walk over an object in its order, the generic form of
//                 anything without a form of its own, and renderAnswer
//   common.cpp    the parts every object class has: events, public IDs, links, remarks and
//                 notices, redactions
//   entity.cpp    entities and their vCards
//   domain.cpp    domains: the head in the labels of a registry's WHOIS answer, nameservers,
//                 their addresses, DNSSEC
//   network.cpp   IP networks and AS numbers: their ranges
//   error.cpp     error bodies and the HTTP status line
//   related.cpp   the reading of link lines (relatedBase)
#pragma once

#include "rdap/rdap.h"

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
    Redacted,
};
struct Member {
    QStringView name;
    QStringView label;
    Form form;
    Phase phase;
};
extern const std::array<Member, 30> Members;
int memberIndex(QStringView name);

struct Taken;

// Members of an object written elsewhere already (in its heading line, or in a domain's head):
// by their index in Members or by name, and parts of members. Skipping them beats copying the
// object without them, which costs an allocation per object.
struct Skip {
    std::uint64_t members = 0;
    std::array<QStringView, 8> names{};
    std::size_t nameCount = 0;
    // vCard properties by their index in the card (-1: none).
    std::array<qsizetype, 4> properties{-1, -1, -1, -1};
    // The element of publicIds by its index (-1: none).
    qsizetype publicId = -1;
    // A domain's: its head is written (not again), with the events of its "events" and the
    // DNSSEC flag of the member named here (empty: none).
    bool domainHead = false;
    bool headEvents = false;
    QStringView delegationSignedIn;
    // An entity of the object's "entities" with parts written elsewhere.
    const Taken *taken = nullptr;

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
    bool skipsProperty(qsizetype index) const {
        return std::find(properties.begin(), properties.end(), index) != properties.end();
    }
    void withProperty(qsizetype index) {
        for (qsizetype &p : properties) {
            if (p < 0) {
                p = index;
                return;
            }
        }
    }
};

// An entity (by its index in "entities") whose name or other parts a domain's head has written:
// what to skip of it, and the one role its heading would name only to say what the head says
// (empty when the head wrote no line of it).
struct Taken {
    qsizetype entity = -1;
    Skip skip;
    bool nameTaken = false;
    QStringView role;
    const Taken *next = nullptr; // another entity of the same array
};

// Writes the text a line at a time into a small buffer of UTF-16 that goes on, as UTF-8, into
// the caller's text whenever it is full: the whole answer never stands twice in memory, once
// in each form.
class LineWriter {
public:
    explicit LineWriter(QByteArray &text, const Written *written = nullptr)
        : m_text(text)
        , m_written(written && *written ? written : nullptr) {
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

    // A heading line written only once a line below it is: "Registrar:" above what a domain's
    // head left of its registrar, if anything. At most a few at a time, innermost last.
    void pendingHeading(int level, QStringView label) {
        if (m_pendingCount < m_pending.size())
            m_pending[m_pendingCount] = {level, label};
        ++m_pendingCount; // counted even past the few kept, so that endPending stays paired
    }
    // Drops the innermost pending heading if nothing was written below it.
    void endPending() {
        if (m_pendingCount > 0)
            --m_pendingCount;
    }

protected:
    void indent(int level) {
        if (m_pendingCount > 0)
            writePending();
        static const QString spaces(2 * MaxLevel, QLatin1Char(' '));
        out += QStringView(spaces).first(2 * std::min(level, MaxLevel));
    }

    QString out; // the lines not yet in m_text

private:
    static constexpr qsizetype FlushAt = 16 * 1024;

    void flush();
    void writePending();

    struct Pending {
        int level = 0;
        QStringView label;
    };
    std::array<Pending, 4> m_pending{};
    std::size_t m_pendingCount = 0;
    QByteArray &m_text;
    const Written *m_written; // told of each flush
    QStringEncoder m_utf8{QStringEncoder::Utf8};
};

class Renderer : public LineWriter {
public:
    using LineWriter::LineWriter;

    // walk.cpp
    void object(int level, const QJsonObject &object, Skip skip = {});
    void generic(int level, QStringView label, const QJsonValue &value);
    void document(const QJsonDocument &document);
    // The top object's own links alone, as document() writes them.
    void ownLinks(const QJsonDocument &document);

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
    void events(int level, const Member &m, const QJsonValue &value, const Skip &skip);
    void event(int level, const QJsonObject &event, QStringView label = {});
    void publicIds(int level, const Member &m, const QJsonValue &value, const Skip &skip);
    void publicId(int level, QStringView label, const QJsonObject &id);
    void links(int level, const Member &m, const QJsonValue &value);
    void link(int level, const QJsonObject &link);
    void notices(int level, const Member &m, const QJsonValue &value);
    void notice(int level, QStringView label, const QJsonObject &notice);
    void redactions(int level, const Member &m, const QJsonValue &value);
    void redaction(int level, const QJsonObject &redaction);

    // entity.cpp
    bool entities(int level, const Member &m, const QJsonValue &value, const Skip &skip);
    void entity(int level, const QJsonObject &entity, const Taken *taken = nullptr);
    bool roles(int level, const Member &m, const QJsonValue &value);
    bool vcard(int level, const QJsonValue &value, const Skip &skip);
    void vcardProperty(int level, const QJsonArray &property);

    // domain.cpp
    void domain(int level, const QJsonObject &domain);
    void nameservers(int level, const Member &m, const QJsonValue &value,
                     QStringView label = u"Nameserver");
    void nameserver(int level, const QJsonObject &nameserver, QStringView label);
    bool ipAddresses(int level, const QJsonValue &value);
    bool secureDns(int level, const Member &m, const QJsonValue &value, const Skip &skip);

    // network.cpp
    bool range(int level, const QJsonObject &object, const Member &m, const QJsonValue &value,
               Skip &done, const Skip &skip);

    QString m_line; // a link's line, kept from link to link
};

// A vCard property that can stand in one line of its own: [name, parameters, type, text] with no
// parameter but "type" (whose values join the label, "Phone (voice)").
bool isPlainProperty(const QJsonArray &property);
// The label with a plain property's types: "Registrar Abuse Contact Phone (voice)".
QString withTypes(QStringView label, const QJsonArray &property);
// The index of the first plain property of that name in a vCard's properties with a text that is
// not empty; -1 when there is none.
qsizetype plainProperty(const QJsonArray &properties, QLatin1String name);
// A jCard's properties, or an empty array when the value is no jCard.
QJsonArray vcardProperties(const QJsonValue &card);
// The index of an entity's vCard property that names it (its fn, else its org); -1 when none.
qsizetype nameProperty(const QJsonArray &properties);

// The label a domain's head writes a well-formed event under ("Creation Date" for its
// registration); empty for an event the head leaves to the others.
QStringView headEventLabel(const QJsonValue &event);

// The body as JSON; nullopt when it is none.
std::optional<QJsonDocument> parse(QByteArrayView body);

} // namespace rdap::render

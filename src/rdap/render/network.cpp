// IP networks and AS numbers: their first and last address or number in one line.
#include "renderer.h"

namespace rdap::render {

// "Address range: 192.198.0.0 - 192.198.3.255", "AS range: 13335 - 13335"; false (written
// generically) when either end is no scalar or the end is missing or written already.
bool Renderer::range(int level, const QJsonObject &object, const Member &m, const QJsonValue &value,
                     Skip &done, const Skip &skip) {
    const int end = memberIndex(m.form == Form::AddressRange ? u"endAddress" : u"endAutnum");
    const QJsonValue last = object.value(Members[std::size_t(end)].name);
    if (!isScalar(value) || !isScalar(last) || last.isUndefined() || ((skip.members >> end) & 1))
        return false;
    field(level, m.label, scalarText(value) + QLatin1String(" - ") + scalarText(last));
    done.members |= std::uint64_t(1) << end;
    return true;
}

} // namespace rdap::render

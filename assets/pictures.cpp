#include "assets/pictures.h"

namespace Pictures {

QString busyFrame(int index) {
    const int wrapped = (index % BusyFrameCount + BusyFrameCount) % BusyFrameCount;
    return QStringLiteral(":/pictures/frame%1.ico").arg(wrapped);
}

QString blank() {
    return QStringLiteral(":/pictures/blank.ico");
}

QString windowIcon() {
    return QStringLiteral(":/pictures/lumbra.ico");
}

} // namespace Pictures

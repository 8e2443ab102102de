#include "startup.h"

#include <QtGlobal>

bool displayAvailable(const QString &program, QString *why) {
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    if (why)
        *why = QStringLiteral("Lumbra needs a graphical display and found none (DISPLAY is not "
                              "set): start it from a desktop session, or under a virtual display "
                              "with: xvfb-run -a ") +
               program;
    return false;
#else
    Q_UNUSED(program);
    Q_UNUSED(why);
    return true;
#endif
}

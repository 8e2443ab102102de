#include "startup.h"

#include <QGuiApplication>
#include <QtGlobal>

#ifdef LUMBRA_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

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

void describeApplication() {
    QGuiApplication::setApplicationName(QStringLiteral("Lumbra"));
    QGuiApplication::setApplicationVersion(QStringLiteral("1.0"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.lumbra.lumbra"));
}

FontConfigPreload::FontConfigPreload() {
#ifdef LUMBRA_HAVE_FONTCONFIG
    // FcInit is safe to race: should the toolkit get there first, one of the two loaded
    // configurations is dropped and both callers use the other.
    m_thread = std::thread([] { FcInit(); });
#endif
}

FontConfigPreload::~FontConfigPreload() {
    wait();
}

void FontConfigPreload::wait() {
    if (m_thread.joinable())
        m_thread.join();
}

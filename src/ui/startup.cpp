#include "startup.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QList>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#ifdef LUMBRA_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
namespace {

// The end of every no-display sentence: how to get a display.
QString howToGetOne(const QString &program) {
    return QStringLiteral(": start it from a desktop session, or under a virtual display with: "
                          "xvfb-run -a ") +
           program;
}

// A message held back while the application object connects, with its context copied.
struct HeldMessage {
    QtMsgType type;
    QByteArray file;
    QByteArray function;
    QByteArray category;
    int line;
    QString text;
};

struct GuardState {
    std::mutex mutex;
    QtMessageHandler previous = nullptr;
    QString program;
    QList<HeldMessage> held;
};

GuardState &guardState() {
    static GuardState state;
    return state;
}

// The sentence for a display platform that did not start, naming the displays that were tried:
// those whose plugin spoke before the failure or that the environment asks for, Wayland first
// as Qt tries it first. A display whose variable is set outranks one whose variable is not.
QString connectFailure(const QString &program, const QList<HeldMessage> &held) {
    // QT_QPA_PLATFORM may list fallbacks ("wayland;xcb") and carry options ("xcb:opt").
    QStringList asked;
    for (const QString &entry :
         qEnvironmentVariable("QT_QPA_PLATFORM").split(QLatin1Char(';'), Qt::SkipEmptyParts))
        asked << entry.section(QLatin1Char(':'), 0, 0);
    const QString display = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    bool triedX = asked.isEmpty() || asked.contains(QLatin1String("xcb"));
    bool triedWayland = asked.isEmpty()
                            ? !wayland.isEmpty()
                            : std::any_of(asked.cbegin(), asked.cend(), [](const QString &p) {
                                  return p.startsWith(QLatin1String("wayland"));
                              });
    for (const HeldMessage &m : held) {
        triedX = triedX || m.category.startsWith("qt.qpa.xcb");
        triedWayland = triedWayland || m.category.startsWith("qt.qpa.wayland");
    }
    if (!triedX && !triedWayland)
        return QStringLiteral("Lumbra could not start the display platform \"%1\" that "
                              "QT_QPA_PLATFORM asks for: unset it and start Lumbra from a desktop "
                              "session, or under a virtual display with: xvfb-run -a %2")
            .arg(asked.join(QLatin1Char(';')), program);

    const QString waylandTried =
        wayland.isEmpty()
            ? QStringLiteral("a Wayland display (WAYLAND_DISPLAY is not set)")
            : QStringLiteral("the Wayland display \"%1\" (WAYLAND_DISPLAY)").arg(wayland);
    const QString xTried = display.isEmpty()
                               ? QStringLiteral("an X display (DISPLAY is not set)")
                               : QStringLiteral("the X display \"%1\" (DISPLAY)").arg(display);
    const bool anySet = (triedWayland && !wayland.isEmpty()) || (triedX && !display.isEmpty());
    QStringList tried;
    if (triedWayland && (!anySet || !wayland.isEmpty()))
        tried << waylandTried;
    if (triedX && (!anySet || !display.isEmpty()))
        tried << xTried;
    return QStringLiteral("Lumbra could not connect to ") + tried.join(QStringLiteral(" or ")) +
           howToGetOne(program);
}

void holdBack(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    GuardState &state = guardState();
    std::lock_guard lock(state.mutex);
    if (type == QtFatalMsg) {
        // Qt would abort after this handler returns: say it in one sentence and end here.
        const QString sentence = connectFailure(state.program, state.held);
        std::fprintf(stderr, "%s\n", qPrintable(sentence));
        std::fflush(stderr);
        std::_Exit(1);
    }
    state.held.append({type, QByteArray(context.file), QByteArray(context.function),
                       QByteArray(context.category), context.line, text});
}

const char *orNull(const QByteArray &bytes) {
    return bytes.isNull() ? nullptr : bytes.constData();
}

} // namespace
#endif

bool displayAvailable(const QString &program, QString *why) {
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    if (why)
        *why = QStringLiteral("Lumbra needs a graphical display and found none (DISPLAY is not "
                              "set)") +
               howToGetOne(program);
    return false;
#else
    Q_UNUSED(program);
    Q_UNUSED(why);
    return true;
#endif
}

DisplayConnectGuard::DisplayConnectGuard(const QString &program) {
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    GuardState &state = guardState();
    std::lock_guard lock(state.mutex);
    state.program = program;
    state.held.clear();
    state.previous = qInstallMessageHandler(holdBack);
#else
    Q_UNUSED(program);
    m_active = false;
#endif
}

DisplayConnectGuard::~DisplayConnectGuard() {
    release();
}

void DisplayConnectGuard::release() {
    if (!m_active)
        return;
    m_active = false;
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    GuardState &state = guardState();
    QList<HeldMessage> held;
    QtMessageHandler previous = nullptr;
    {
        std::lock_guard lock(state.mutex);
        qInstallMessageHandler(state.previous);
        previous = state.previous;
        held.swap(state.held);
    }
    for (const HeldMessage &m : held) {
        const QMessageLogContext context(orNull(m.file), m.line, orNull(m.function),
                                         orNull(m.category));
        previous(m.type, context, m.text);
    }
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

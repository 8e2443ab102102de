#include "startup.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QList>
#include <QStringList>
#include <QtGlobal>

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

const char *orNull(const QByteArray &bytes) {
    return bytes.isNull() ? nullptr : bytes.constData();
}

void passOn(QtMessageHandler handler, const HeldMessage &m) {
    const QMessageLogContext context(orNull(m.file), m.line, orNull(m.function),
                                     orNull(m.category));
    handler(m.type, context, m.text);
}

// One platform plugin that Qt found but could not start, and whether the plugin itself said
// anything first: a plugin that speaks was loaded and gave up for its own reason (the display
// could not be reached); one that stays silent could not be loaded or created at all.
struct FailedPlugin {
    QString name;
    bool spoke;
};

// The plugins Qt gave up on, read from the lines its plugin loader writes after each attempt.
// The loader's own diagnostics (qt.core.*, shown with QT_DEBUG_PLUGINS=1) are not the plugin's.
QList<FailedPlugin> failedPlugins(const QList<HeldMessage> &held) {
    static const QLatin1String notLoaded("Could not load the Qt platform plugin \"");
    QList<FailedPlugin> failed;
    bool spoke = false;
    for (const HeldMessage &m : held) {
        if (m.category == "qt.qpa.plugin") {
            if (m.text.startsWith(notLoaded)) {
                const qsizetype end = m.text.indexOf(QLatin1Char('"'), notLoaded.size());
                failed.append({m.text.mid(notLoaded.size(), end - notLoaded.size()), spoke});
            }
            spoke = false;
        } else if (!m.category.startsWith("qt.core.")) {
            spoke = true;
        }
    }
    return failed;
}

// The sentence for a display that could not be reached, naming the displays whose plugin said
// so. A display whose variable is set outranks one whose variable is not.
QString connectFailure(const QString &program, bool triedX, bool triedWayland) {
    const QString display = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
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

// The sentence after Qt's own lines when platform plugins could not be loaded.
QString loadFailure(const QString &program, const QStringList &plugins) {
    QStringList quoted;
    for (const QString &plugin : plugins)
        quoted << QLatin1Char('"') + plugin + QLatin1Char('"');
    const bool one = plugins.size() == 1;
    return QStringLiteral("Lumbra could not load the Qt platform plugin%1 %2: a library %3 "
                          "missing or broken; QT_DEBUG_PLUGINS=1 %4 shows which")
        .arg(one ? QString() : QStringLiteral("s"), quoted.join(QStringLiteral(" and ")),
             one ? QStringLiteral("it needs is") : QStringLiteral("they need is"), program);
}

// Qt's fatal message while the application object connects, after which Qt would abort and
// dump core. Whatever the cause, the program ends here with status 1: a plugin that could not
// be loaded gets Qt's lines and a sentence naming it; a display that could not be reached gets
// one sentence naming it; anything else gets Qt's lines and its fatal message unchanged.
[[noreturn]] void endAtFatal(const QMessageLogContext &context, const QString &text) {
    GuardState &state = guardState();
    QList<HeldMessage> held;
    QString program;
    QtMessageHandler previous = nullptr;
    {
        std::lock_guard lock(state.mutex);
        held = state.held;
        program = state.program;
        previous = state.previous;
    }
    QStringList notLoaded;
    bool triedX = false;
    bool triedWayland = false;
    for (const FailedPlugin &plugin : failedPlugins(held)) {
        if (!plugin.spoke && !notLoaded.contains(plugin.name))
            notLoaded << plugin.name;
        triedX = triedX || (plugin.spoke && plugin.name == QLatin1String("xcb"));
        triedWayland =
            triedWayland || (plugin.spoke && plugin.name.startsWith(QLatin1String("wayland")));
    }

    QString sentence;
    if (!notLoaded.isEmpty() || (!triedX && !triedWayland)) {
        for (const HeldMessage &m : held)
            passOn(previous, m);
        if (!notLoaded.isEmpty())
            sentence = loadFailure(program, notLoaded);
        else
            previous(QtFatalMsg, context, text);
    } else {
        sentence = connectFailure(program, triedX, triedWayland);
    }
    if (!sentence.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(sentence));
    std::fflush(stderr);
    std::_Exit(1);
}

void holdBack(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (type == QtFatalMsg)
        endAtFatal(context, text);
    GuardState &state = guardState();
    std::lock_guard lock(state.mutex);
    state.held.append({type, QByteArray(context.file), QByteArray(context.function),
                       QByteArray(context.category), context.line, text});
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
    for (const HeldMessage &m : held)
        passOn(previous, m);
#endif
}

void describeApplication() {
    QGuiApplication::setApplicationName(QStringLiteral("Lumbra"));
    QGuiApplication::setApplicationVersion(QStringLiteral(LUMBRA_VERSION));
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

// What both fuzz targets share: one QApplication on the offscreen platform for the whole run,
// Qt's own warnings kept quiet (they would bury libFuzzer's output), and a failed check that
// names itself before it stops the run.
#pragma once

#include <QApplication>
#include <QByteArray>

#include <cstdio>
#include <cstdlib>

namespace fuzzapp {

inline void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (type != QtFatalMsg)
        return;
    std::fprintf(stderr, "Qt fatal: %s\n", message.toLocal8Bit().constData());
    std::abort();
}

// Created once, before the first input; never destroyed (libFuzzer ends the process itself).
inline void startApplication(const char *program) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_FONT_DPI", "96");
    qInstallMessageHandler(quietMessages);
    static int argc = 1;
    static char *argv[] = {const_cast<char *>(program), nullptr};
    new QApplication(argc, argv);
}

[[noreturn]] inline void fail(const char *what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

inline void check(bool ok, const char *what) {
    if (!ok)
        fail(what);
}

} // namespace fuzzapp

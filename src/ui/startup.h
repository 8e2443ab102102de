#pragma once

#include <QString>

#include <thread>

// Whether a graphical display can be reached. Without one Qt would abort; instead the
// program says so in one sentence (in *why) and exits with a non-zero status.
// program is how the user started it, for the suggested command.
bool displayAvailable(const QString &program, QString *why);

// Stands guard while the application object connects to the display: the toolkit's messages
// are held back, and should no display platform start, Qt's fatal message (an abort and a core
// dump would follow) ends the program with status 1 instead, saying what went wrong: for a
// display that could not be reached, one sentence naming the display that was tried; for a
// platform plugin that could not be loaded, Qt's held lines and a sentence naming the plugin;
// for anything else, Qt's held lines and its fatal message as they stand. Make it just before
// the QApplication and call release() once that exists: the held-back messages then go on,
// unchanged, to the handler installed before. One guard at a time; costs nothing but the
// handler swap.
class DisplayConnectGuard {
public:
    explicit DisplayConnectGuard(const QString &program);
    ~DisplayConnectGuard();
    DisplayConnectGuard(const DisplayConnectGuard &) = delete;
    DisplayConnectGuard &operator=(const DisplayConnectGuard &) = delete;

    void release();

private:
    bool m_active = true;
};

// The program's name, version and desktop entry, as the application object announces them.
// Call once the QApplication exists.
void describeApplication();

// Reads the system's font configuration on a thread of its own while the application object
// connects to the display. The window's first text needs it, and reading it takes longer than
// building all the controls; in parallel it costs start-up next to nothing. wait() (or the
// destructor) joins the thread; call it before the first widget is made. Does nothing where
// the program is built without fontconfig.
class FontConfigPreload {
public:
    FontConfigPreload();
    ~FontConfigPreload();
    FontConfigPreload(const FontConfigPreload &) = delete;
    FontConfigPreload &operator=(const FontConfigPreload &) = delete;

    void wait();

private:
    std::thread m_thread;
};

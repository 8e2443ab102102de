#include "ui/frmmain.h"
#include "ui/startup.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[]) {
    const QString program = QString::fromLocal8Bit(argv[0]);
    QString why;
    if (!displayAvailable(program, &why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    FontConfigPreload fonts; // runs while the application object connects to the display
    DisplayConnectGuard guard(program);
    QApplication app(argc, argv);
    guard.release();
    describeApplication();
    fonts.wait();
    frmMain window;
    window.show();
    return QApplication::exec();
}

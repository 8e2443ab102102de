#include "ui/frmmain.h"
#include "ui/startup.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[]) {
    QString why;
    if (!displayAvailable(QString::fromLocal8Bit(argv[0]), &why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    FontConfigPreload fonts; // runs while the application object connects to the display
    QApplication app(argc, argv);
    describeApplication();
    fonts.wait();
    frmMain window;
    window.show();
    return QApplication::exec();
}

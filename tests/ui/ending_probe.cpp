// Runs the real window in a process of its own and ends it during a server sweep, so a test
// can watch from outside what ending the program does to connections and later servers.
// Arguments: mode (exit, close, nested, or box: closed over the Info box), the servers' common
// port, then the servers.
// Or mode "copy" alone: once the window is shown, Copy puts a known text on the clipboard
// (also written to standard output, in UTF-8) and Exit ends the program.
#include "platform/textbox.h"
#include "platform/winsock.h"
#include "ui/frmmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {
int copyThenExit() {
    const QString text = QStringLiteral("Search results of: whois.example\r\n\r\n"
                                        "Registrar: M\u00fcller Stra\u00dfe \u767b\u9332\r\n");
    frmMain window;
    window.findChild<TextBox *>(QStringLiteral("txtSearchResult"))->SetText(text);
    auto *copy = window.findChild<QPushButton *>(QStringLiteral("btnCopy"));
    auto *exit = window.findChild<QPushButton *>(QStringLiteral("btnExit"));
    window.show();
    // Once the window is on the screen, as when a user clicks Copy.
    auto *shown = new QTimer(&window);
    QObject::connect(shown, &QTimer::timeout, &window, [&] {
        if (!window.windowHandle() || !window.windowHandle()->isExposed())
            return;
        shown->stop();
        copy->click();
        const QByteArray bytes = text.toUtf8();
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
        std::fflush(stdout);
        exit->click();
    });
    shown->start(20);
    QApplication::exec();
    return 3; // Exit should have ended the program
}
} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() == 2 && args.at(1) == QLatin1String("copy"))
        return copyThenExit();
    if (args.size() < 4)
        return 2;
    const QString mode = args.at(1);
    frmMain window;
    window.winsock().setTestPort(args.at(2).toUShort());
    auto *servers = window.findChild<QComboBox *>(QStringLiteral("cmbWhoisServer"));
    servers->clear();
    servers->addItems(args.mid(3));
    window.findChild<QLineEdit *>(QStringLiteral("txtSearchText"))->setText(QStringLiteral("q"));
    window.findChild<QCheckBox *>(QStringLiteral("chkAll"))->setChecked(true);
    auto *search = window.findChild<QPushButton *>(QStringLiteral("btnSearch"));
    auto *exit = window.findChild<QPushButton *>(QStringLiteral("btnExit"));
    auto *info = window.findChild<QPushButton *>(QStringLiteral("btnInfo"));

    int arrivals = 0;
    QObject::connect(&window.winsock(), &Winsock::DataArrival, &window, [&] {
        ++arrivals;
        if (mode == QLatin1String("close") && arrivals == 1)
            QTimer::singleShot(0, &window, [&] { window.close(); });
        else if (mode == QLatin1String("box") && arrivals == 1)
            QTimer::singleShot(0, &window, [&] {
                // Closed while the Info box waits for its OK, inside the sweep's wait.
                QTimer::singleShot(0, &window, [&] { window.close(); });
                info->click();
            });
        else if (mode == QLatin1String("exit") && arrivals == 1)
            QTimer::singleShot(0, exit, &QPushButton::click);
        else if (mode == QLatin1String("nested") && arrivals == 1)
            QTimer::singleShot(0, search, &QPushButton::click); // a second sweep inside the first
        else if (mode == QLatin1String("nested") && arrivals == 2)
            QTimer::singleShot(0, exit, &QPushButton::click);
    });
    window.show();
    QTimer::singleShot(0, search, &QPushButton::click);
    QApplication::exec();
    return 3; // the program should have ended before its event loop returned
}

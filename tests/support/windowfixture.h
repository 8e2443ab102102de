// The real main window for tests: shown and active, message boxes answered and the end of
// the program caught, controls found by name.
#pragma once

#include "fakewhois.h"
#include "platform/picturebox.h"
#include "platform/textbox.h"
#include "platform/winsock.h"
#include "ui/frmmain.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

struct Window {
    frmMain w;
    QList<QPair<QString, QString>> boxes;
    int ended = 0;

    Window() {
        MessageBox::setHandler([this](const QString &p, const QString &t) {
            boxes.append({p, t});
        });
        w.setEndProgram([this] { ++ended; });
        w.show();
        QApplication::setActiveWindow(&w);
    }
    ~Window() { MessageBox::setHandler({}); }
    template <typename T> T *get(const char *name) {
        T *c = w.findChild<T *>(QString::fromLatin1(name));
        if (!c)
            qFatal("no control %s", name);
        return c;
    }
    // The named control that has the focus (a combo box's inner line edit counts as the combo).
    QString focused() const {
        for (QWidget *f = QApplication::focusWidget(); f; f = f->parentWidget())
            if (!f->objectName().isEmpty() &&
                f->objectName() != QLatin1String("cmbWhoisServerEdit"))
                return f->objectName();
        return {};
    }
    QString text() { return get<TextBox>("txtSearchResult")->Text(); }
    bool running() { return get<QTimer>("Timer1")->isActive(); }
    // Types the query and presses Search.
    void search(const QString &query) {
        get<QLineEdit>("txtSearchText")->setText(query);
        get<QPushButton>("btnSearch")->click();
    }
    void ticks(int count) {
        for (int i = 0; i < count; ++i)
            w.query().Timer1_Timer();
    }
    // What a finished query leaves: status and count empty, picture hidden, nothing open.
    bool endedCleanly() {
        return !running() && get<QLabel>("lblStatus")->text().isEmpty() &&
               get<QLabel>("lblTimeOut")->text().isEmpty() &&
               get<PictureBox>("imgStatus")->isHidden() &&
               w.winsock().State() == Winsock::sckClosed;
    }
    void pointAt(const FakeWhois &server) { pointAt(server.host(), server.port()); }
    // The server field names host, and connections go to port instead of 43.
    void pointAt(const QString &host, quint16 port) {
        w.winsock().setTestPort(port);
        get<QComboBox>("cmbWhoisServer")->setEditText(host);
    }
};

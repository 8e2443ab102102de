#include "messagebox.h"

#include <QMessageBox>

namespace {
MessageBox::Handler &handler() {
    static MessageBox::Handler h;
    return h;
}
} // namespace

void MessageBox::show(QWidget *parent, const QString &prompt, const QString &title) {
    if (handler()) {
        handler()(prompt, title);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title, prompt, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setObjectName(QStringLiteral("messageBox"));
    box.exec();
}

void MessageBox::setHandler(Handler h) {
    handler() = std::move(h);
}

#pragma once

#include <QString>

#include <functional>

class QWidget;

// Every message box of the program: modal, an OK button only, no icon, plain text.
namespace MessageBox {
void show(QWidget *parent, const QString &prompt, const QString &title);

// Tests answer boxes through this instead of a person; an empty handler restores the real box.
using Handler = std::function<void(const QString &prompt, const QString &title)>;
void setHandler(Handler handler);
} // namespace MessageBox

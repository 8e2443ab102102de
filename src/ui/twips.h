#pragma once

#include <QWidget>
#include <QtGlobal>

// The windows are designed in twips, 1440 to the inch; on screen a length becomes pixels at
// the widget's logical resolution.
inline int twipsToPixels(const QWidget *widget, int twips) {
    constexpr double TwipsPerInch = 1440;
    return qRound(twips * widget->logicalDpiX() / TwipsPerInch);
}

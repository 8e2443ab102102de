#include "controls.h"

#include <QLabel>
#include <QPushButton>

namespace controls {

QString withoutMarkers(QString caption) {
    caption.remove(QLatin1Char('&'));
    if (caption.endsWith(QLatin1Char(':')))
        caption.chop(1);
    return caption;
}

QPushButton *commandButton(QWidget *parent, const char *name, const char *caption,
                           const char *tip) {
    auto *b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(QString::fromLatin1(tip));
    b->setAccessibleName(withoutMarkers(b->text()));
    b->setAutoDefault(true);
    return b;
}

void makeStatusLabel(QLabel *label, const QString &purpose) {
    label->setTextFormat(Qt::PlainText);
    // QLabel announces a change of its text (a name change) only while it has no accessible
    // name of its own.
    label->setAccessibleName(QString());
    label->setAccessibleDescription(purpose);
}

} // namespace controls

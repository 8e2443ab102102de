#pragma once

#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// How the program's windows make their controls, so that every button and label gets its
// name, tooltip and accessible name the same way.
namespace controls {

// A caption as assistive technology reads it: no access-key marker, no closing colon.
QString withoutMarkers(QString caption);
// A command button: object name, caption with its access key, tooltip, and the caption without
// markers as its accessible name; Enter presses it while it has the focus.
QPushButton *commandButton(QWidget *parent, const char *name, const char *caption, const char *tip);
// A label whose text the program changes (a status line, a count): shown as plain text, never
// as markup or access keys, and with no fixed accessible name, so that assistive technology
// reads the text itself and hears each change of it; what the label is for goes into its
// accessible description.
void makeStatusLabel(QLabel *label, const QString &purpose);

} // namespace controls

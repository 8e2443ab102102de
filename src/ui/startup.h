#pragma once

#include <QString>

// Whether a graphical display can be reached. Without one Qt would abort; instead the
// program says so in one sentence (in *why) and exits with a non-zero status.
// program is how the user started it, for the suggested command.
bool displayAvailable(const QString &program, QString *why);

#pragma once

#include <QString>

// Whether a graphical display can be reached. Without one Qt would abort; instead the
// program says so in one sentence (in *why) and exits with a non-zero status.
bool displayAvailable(QString *why);

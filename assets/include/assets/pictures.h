#pragma once

#include <QString>

// Resource paths of the pictures embedded by the lumbra_assets library.
namespace Pictures {

constexpr int BusyFrameCount = 4;

// ":/pictures/frameN.ico"; each frame is the previous one turned 45 degrees clockwise, and the
// index wraps around so a counter can be passed straight in.
QString busyFrame(int index);
// ":/pictures/blank.ico", fully transparent, the same size as a busy frame.
QString blank();
// ":/pictures/lumbra.ico", holding a 32 x 32 and a 16 x 16 image.
QString windowIcon();

} // namespace Pictures

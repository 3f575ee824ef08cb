#pragma once

#include <QFont>

namespace velkor {

// The window's fonts, all sized in pixels so that nothing scales with the
// screen's font settings. The window was designed around fonts that Linux
// does not have; these stand in for them:
//   "MS Sans Serif" and "Arial"  -> Liberation Sans (Arial's metrics), then
//                                   DejaVu Sans, with Noto Sans CJK JP for
//                                   the Japanese captions;
//   the meter's display font     -> DSEG7 Classic for the seven-segment
//                                   digits, DejaVu Sans for the symbols.
QFont uiFont(int pixelSize, bool bold = false);
QFont segmentFont(int pixelSize);
QFont symbolFont(int pixelSize, bool bold = false);

} // namespace velkor

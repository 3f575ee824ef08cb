#pragma once

#include <QIcon>

namespace velkor {

// The pictures on the window's buttons, painted in code.
enum class Glyph {
    Close,      // a door with an arrow: "閉じる"
    NewPage,    // a blank page
    OpenFolder, // an open folder
    Floppy,     // a floppy disk
    Printer,    // a printer
    First,      // a bar and a double arrow pointing left (blue)
    Previous,   // a double arrow pointing left (blue)
    Next,       // a double arrow pointing right (blue)
    Last,       // a double arrow pointing right and a bar (blue)
    ZoomIn,     // a magnifying glass with a plus sign
    ZoomOut,    // a magnifying glass with a minus sign
};

QIcon glyphIcon(Glyph glyph);

} // namespace velkor

// The program entry: the application with its title "VELKOR", the main
// window (which runs its start-up sequence), then the event loop until the
// main window closes. The program reads no command line and no settings.

#include "app/QtMessageBoxes.h"
#include "app/TFCOMM.h"
#include "app/VelkorApplication.h"
#include "decode/LocaleSource.h"

int main(int argc, char** argv) {
    velkor::VelkorApplication app(argc, argv);
    velkor::QtMessageBoxes boxes;
    app.setMessageBoxes(&boxes);
    const velkor::SystemLocaleSource locale;
    velkor::TFCOMM window({.boxes = boxes, .locale = locale});
    boxes.setParent(&window);
    window.show();
    return app.exec();
}

// The program entry: the application with its title "VELKOR", the main
// window (which runs its start-up sequence) on the machine's own platform,
// then the event loop until the main window closes. The program reads no
// command line and no settings.

#include "app/TFCOMM.h"
#include "app/VelkorApplication.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/widgets/QtMessageBoxes.h"

int main(int argc, char** argv) {
    velkor::VelkorApplication app(argc, argv);
    velkor::QtMessageBoxes boxes;
    app.setMessageBoxes(&boxes);
    velkor::LinuxPlatform platform;
    velkor::TFCOMM window({.boxes = boxes,
                           .locale = platform.locale,
                           .clock = platform.clock,
                           .serial = platform.serial,
                           .portNames = platform.portNames,
                           .hid = platform.hid});
    boxes.setParent(&window);
    window.show();
    return app.exec();
}

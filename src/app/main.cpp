// The program entry: the application with its title "VELKOR", the main
// window (which runs its start-up sequence) on the machine's own platform,
// then the event loop until the main window closes. The program reads no
// settings; its only command-line answers are --help and --version, given
// before any window is made. Its one file of its own is the log's journal,
// under $XDG_STATE_HOME/velkor (~/.local/state/velkor).

#include "app/ProgramWindow.h"
#include "app/VelkorApplication.h"
#include "platform/widgets/QtMessageBoxes.h"
#include "version/VelkorVersion.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("velkor %s\n", VELKOR_VERSION);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(
            "Usage: velkor\n"
            "       velkor --help | --version\n"
            "\n"
            "The window program: mirrors a handheld digital multimeter's display, judges\n"
            "its readings against limits, logs them, charts them, saves and prints the log.\n"
            "The meter is connected from the window, on a serial port (COM1 to COM4) or\n"
            "its USB cable.\n"
            "\n"
            "Environment:\n"
            "  VELKOR_COM1 .. VELKOR_COM4  the serial device each port stands for\n"
            "                              (default: the n-th serial device present)\n"
            "  XDG_STATE_HOME              where the log's journal is kept, in velkor/\n"
            "                              (default: ~/.local/state)\n",
            stdout);
        return 0;
    }
    velkor::VelkorApplication app(argc, argv);
    velkor::QtMessageBoxes boxes;
    velkor::ProgramWindow program(app, boxes, velkor::journalDirectoryOfUser());
    boxes.setParent(&program.window());
    program.window().show();
    return app.exec();
}

// velkor-screenshot FILE [STEPS]: builds the main window of this build's
// variant off screen, feeds it the first STEPS readings of the simulated
// meter (default 6, ending on a negative DC voltage) through the serial
// receive handler, and saves the window as a PNG picture. Message boxes are
// answered automatically and listed on standard error.

#include "app/ProgramWindow.h"
#include "app/VelkorApplication.h"
#include "platform/headless/ScriptedMessageBoxes.h"
#include "sim/DemoScenario.h"

#include <QPixmap>
#include <QTextStream>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    velkor::VelkorApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments();
    bool stepsOk = true;
    const int steps = args.size() > 2 ? args[2].toInt(&stepsOk) : 6;
    if (args.size() < 2 || args.size() > 3 || !stepsOk || steps < 0) {
        err << "Usage: velkor-screenshot FILE.png [STEPS]\n";
        return 2;
    }
    velkor::ScriptedMessageBoxes boxes;
    velkor::ProgramWindow program(app, boxes, QString());
    velkor::TFCOMM& window = program.window();
    window.show();

    // The stream starts with the line feed of an earlier frame, as a running
    // meter's does, so that the first reading passes the assembler.
    const std::uint8_t lineFeed = 0x0A;
    window.RECEIVE_COM_Data(&lineFeed, 1);
    const auto scenario = velkor::demoScenario();
    for (int i = 0; i < steps && i < static_cast<int>(scenario.size()); ++i) {
        const auto bytes = scenario[static_cast<std::size_t>(i)].frame.bytes();
        window.RECEIVE_COM_Data(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()));
        QCoreApplication::processEvents();
    }
    // The window shows what the frames left at display rate: wait for it.
    while (window.displayPending()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    QCoreApplication::processEvents();
    for (const auto& box : boxes.shown) {
        err << "message box: " << box.caption << ": " << box.text << "\n";
    }
    if (!window.grab().save(args[1], "PNG")) {
        err << "velkor-screenshot: cannot write " << args[1] << "\n";
        return 1;
    }
    return 0;
}

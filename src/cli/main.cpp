#include "version/VelkorVersion.h"
#include "cli/Commands.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

namespace velkor::cli {

void printUsage(bool toStderr) {
    QTextStream out(toStderr ? stderr : stdout);
    out << "Usage: velkor-cli COMMAND [OPTIONS]\n"
           "       velkor-cli --help | --version\n"
           "\n"
           "Commands:\n"
           "  decode [--variant NAME] FILE\n"
           "      Decode a raw meter byte stream (FILE, or - for standard input) through the\n"
           "      variant's serial frame assembler and the decoder, one byte at a time.\n"
           "      Prints CSV: ValueText,FunctionText,UnitText,RangeModeText,CountValue,\n"
           "      ScaledValue,DecimalPointPos,Marks with one line per decoded frame.\n"
           "      ValueText uses the decimal separator of your locale (LC_ALL, LC_NUMERIC,\n"
           "      LANG). A frame that fails to decode prints 'frame N: MESSAGE' on standard\n"
           "      error and decoding goes on.\n"
           "  log [--variant NAME] [--hi TEXT] [--lo TEXT] [--no-repeat] [--max-records N]\n"
           "      [--save OUT] FILE\n"
           "      Run the stream (FILE, or - for standard input) through the decoder, the\n"
           "      limit judge and the measurement log's continuous record path, and print\n"
           "      each logged row as CSV: No,Time,DC/AC,Value,Unit,Auto,ScaledValue,Timestamp.\n"
           "      Time is the row's hh:mm:ss text, ScaledValue the value given to the chart,\n"
           "      Timestamp the local date and time (ISO 8601 with milliseconds).\n"
           "      --hi/--lo are the upper and lower limit (default 6000 and -6000), written\n"
           "      with your locale's decimal separator; a limit that is no number is a usage\n"
           "      error. --no-repeat drops readings that repeat the last logged one (their\n"
           "      numbers are skipped); --max-records is the size limit (default 10000).\n"
           "      --save writes the log, as it stands when the input ends, to OUT: a name\n"
           "      ending in .xml as an XML data packet, any other name as a workbook.\n"
           "  read --device PATH [--variant NAME] [--count N]\n"
           "      Read a meter on a serial line: PATH is a device (/dev/ttyUSB0) or COM1 ..\n"
           "      COM4 (see README: COM port names). Opens it with the variant's line\n"
           "      settings and prints the same CSV as decode until interrupted (Ctrl+C) or\n"
           "      N frames.\n"
           "  read --hid [PATH] [--variant NAME] [--count N]\n"
           "      Read a meter through its USB cable: the HID device PATH (/dev/hidrawN), or\n"
           "      the first one named \"USB to Serial\". Sends the cable the variant's line\n"
           "      speed and prints the same CSV as decode until interrupted or N frames.\n"
           "  demo [--count N]\n"
           "      Write the simulated meter's byte stream (N frames, default one walk\n"
           "      through every function) to standard output.\n"
           "  convert IN OUT\n"
           "      Convert a log file: a name ending in .xml is an XML data packet, any other\n"
           "      name a spreadsheet workbook (read as .xlsx or .xls by its content, written\n"
           "      as .xlsx). Workbook cells are read and written in your locale.\n"
           "\n"
           "Variants: IFCASTEM IFMIRELO IFDORVAN IFFENWIK IFGORSEL IFHALVIN (default: the\n"
           "build's own).\n"
           "\n"
           "Exit status: 0 when the input was read to its end, 1 when it could not be read,\n"
           "2 for a usage error, 3 when the output could not be written.\n";
}

} // namespace velkor::cli

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.isEmpty()) {
        velkor::cli::printUsage(true);
        return velkor::cli::kExitUsage;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        velkor::cli::printUsage(false);
        return velkor::cli::kExitOk;
    }
    if (command == QLatin1String("--version")) {
        std::printf("velkor-cli %s\n", VELKOR_VERSION);
        return velkor::cli::kExitOk;
    }
    if (command == QLatin1String("decode")) {
        return velkor::cli::runDecode(args);
    }
    if (command == QLatin1String("read") && args.contains(QLatin1String("--hid"))) {
        return velkor::cli::runReadHid(args);
    }
    if (command == QLatin1String("log")) {
        return velkor::cli::runLog(args);
    }
    if (command == QLatin1String("read") && !args.contains(QLatin1String("--hid"))) {
        return velkor::cli::runReadSerial(args);
    }
    if (command == QLatin1String("demo")) {
        return velkor::cli::runDemoStream(args);
    }
    if (command == QLatin1String("convert")) {
        return velkor::cli::runConvert(args);
    }
    std::fprintf(stderr, "velkor-cli: unknown command '%s'\n", qPrintable(command));
    velkor::cli::printUsage(true);
    return velkor::cli::kExitUsage;
}

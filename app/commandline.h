#pragma once

#include <QString>
#include <QStringList>

// The program's command line:
//   vucamera [--endpoints FILE] [--help] [--version]
// --endpoints names the endpoints file in place of VUCAMERA_ENDPOINTS.
//
// --help and --version are answered before the Qt application exists, so
// they work without a display. The rest is read after the application has
// taken its own options (-platform, -style, ...) out of the arguments.
namespace CommandLine {

// When args ask for help or the version: prints it to stdout and returns 0.
// Otherwise returns -1 and prints nothing (other options are not judged yet).
int answerHelpOrVersion(int argc, char** argv);

struct Options
{
    bool ok = false;       // false: the message is printed, the program ends with 1
    QString endpointsFile; // absolute path, or empty for the default
};
// Reads the arguments left after the Qt application's own; an unknown
// option, a positional argument or an endpoints file that cannot be read is
// reported on stderr and gives ok == false.
Options parse(const QStringList& args);

} // namespace CommandLine

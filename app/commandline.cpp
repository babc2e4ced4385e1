#include "app/commandline.h"

#include <vcversion.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

const char kName[] = "vucamera";

// The parser with every option of the program; the returned options belong
// to it.
struct Parser
{
    QCommandLineParser p;
    QCommandLineOption help = p.addHelpOption();
    QCommandLineOption version = p.addVersionOption();
    QCommandLineOption endpoints{QStringLiteral("endpoints"),
                                 QStringLiteral("Read the addresses of the services from <file> (in place of "
                                                "the VUCAMERA_ENDPOINTS environment variable)."),
                                 QStringLiteral("file")};
    Parser()
    {
        p.setApplicationDescription(
            QStringLiteral("Watch the home security cameras of a cloud account: live video and audio, "
                           "pan and tilt, memory card playback."));
        p.addOption(endpoints);
    }
};

} // namespace

namespace CommandLine {

int answerHelpOrVersion(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    Parser parser;
    parser.p.parse(args); // errors are judged later, with the Qt options taken out
    if (parser.p.isSet(parser.version)) {
        std::printf("%s %s\n", kName, VC_VERSION_STRING);
        return 0;
    }
    if (!parser.p.isSet(parser.help) && !parser.p.isSet(QStringLiteral("help-all")))
        return -1;
    // The help text names the program from the application's arguments.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(kName));
    QCoreApplication::setApplicationVersion(QStringLiteral(VC_VERSION_STRING));
    std::fputs(qUtf8Printable(parser.p.helpText()), stdout);
    return 0;
}

Options parse(const QStringList& args)
{
    Options o;
    Parser parser;
    if (!parser.p.parse(args)) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kName, qUtf8Printable(parser.p.errorText()), kName);
        return o;
    }
    if (!parser.p.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "%s: unexpected argument '%s'\nTry '%s --help'.\n", kName,
                     qUtf8Printable(parser.p.positionalArguments().first()), kName);
        return o;
    }
    if (parser.p.isSet(parser.endpoints)) {
        const QFileInfo file(parser.p.value(parser.endpoints));
        if (!file.isFile() || !file.isReadable()) {
            std::fprintf(stderr, "%s: cannot read the endpoints file %s\n", kName,
                         qUtf8Printable(file.filePath()));
            return o;
        }
        o.endpointsFile = file.absoluteFilePath();
    }
    o.ok = true;
    return o;
}

} // namespace CommandLine

// libFuzzer entry for the timeline reply and IO-control JSON parsers.
#include "camerafuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QtMessageHandler quiet = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    (void)quiet;
    runCameraFuzzInput(data, size);
    return 0;
}

// libFuzzer entry for the timeline reply and IO-control JSON parsers.
#include "camerafuzz.h"

#include <QtGlobal>

namespace {
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool once = [] {
        qInstallMessageHandler(quiet);
        return true;
    }();
    (void)once;
    runCameraFuzzInput(data, size);
    return 0;
}

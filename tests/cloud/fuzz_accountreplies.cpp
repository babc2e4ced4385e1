// libFuzzer entry for the account service's answers: service login header,
// body and cookies, the update service's answer and the user card (see
// runAccountFuzzInput).
#include "cloudfuzz.h"

#include <QtGlobal>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    runAccountFuzzInput(data, size);
    return 0;
}

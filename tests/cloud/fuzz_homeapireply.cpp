// libFuzzer entry for home API replies: decryption and the parsing of every
// reply kind (see runHomeApiFuzzInput).
#include "cloudfuzz.h"

#include <QtGlobal>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    runHomeApiFuzzInput(data, size);
    return 0;
}

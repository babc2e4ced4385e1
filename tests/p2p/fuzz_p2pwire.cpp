// libFuzzer entry for what a P2P peer sends: session messages, Hello, directory lines.
#include "p2pfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    runP2PFuzzInput(data, size);
    return 0;
}

#include "camera/rdtapi.h"

#include "p2p/rdtapi.h"

RdtApi RdtApi::library()
{
    RdtApi api;
    api.create = [](int sessionId, int timeoutMs, int channel) {
        return RDT_Create(sessionId, timeoutMs, static_cast<unsigned char>(channel));
    };
    api.destroy = [](int rdtId) { return RDT_Destroy(rdtId); };
    api.write = [](int rdtId, const char* data, int len) { return RDT_Write(rdtId, data, len); };
    api.read = [](int rdtId, char* buf, int len, int timeoutMs) { return RDT_Read(rdtId, buf, len, timeoutMs); };
    return api;
}

// Video frame throughput through the P2P library (device -> client on one
// AV channel over loopback) against a plain loopback TCP stream carrying the
// same bytes, both measured in this process. Prints MB/s and the ratio.
//
//   bench_p2pframes [frames] [frameBytes]

#include "p2p/avapi.h"
#include "p2p/iotcapi.h"
#include "p2p/p2pdevice.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// Baseline: the same number of bytes through one loopback TCP connection.
double rawTcp(int frames, int size)
{
    const int ls = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(ls, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(ls, 1);
    ::getsockname(ls, reinterpret_cast<sockaddr*>(&a), &len);
    const int c = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const int s = ::accept(ls, nullptr, nullptr);
    const size_t total = static_cast<size_t>(frames) * static_cast<size_t>(size);
    const auto t0 = std::chrono::steady_clock::now();
    std::thread writer([&] {
        std::vector<char> buf(static_cast<size_t>(size), 'v');
        for (int i = 0; i < frames; ++i) {
            size_t off = 0;
            while (off < buf.size())
                off += static_cast<size_t>(::send(s, buf.data() + off, buf.size() - off, 0));
        }
    });
    std::vector<char> in(1 << 20);
    size_t got = 0;
    while (got < total) {
        const ssize_t r = ::recv(c, in.data(), in.size(), 0);
        if (r <= 0)
            break;
        got += static_cast<size_t>(r);
    }
    writer.join();
    const auto t1 = std::chrono::steady_clock::now();
    ::close(s);
    ::close(c);
    ::close(ls);
    return static_cast<double>(got) / seconds(t0, t1) / 1e6;
}

double throughP2p(int frames, int size, int* lost)
{
    const int dir = P2PDir_Start(0);
    const std::string addr = "127.0.0.1:" + std::to_string(P2PDir_Port(dir));
    IOTC_Set_Directory(addr.c_str());
    IOTC_Initialize2(0);
    avInitialize(4);
    avClientSetMaxBufSize(64 * 1024);
    const int dev = P2PD_Register("UID-bench", nullptr, 0);
    std::thread device([&] {
        const int sid = P2PD_Accept(dev, 5000);
        const int av = P2PD_AvServStart(sid, 0, 5000, nullptr, nullptr);
        std::vector<char> frame(static_cast<size_t>(size), 'v');
        char header[AV_FRAME_HEADER_SIZE] = {};
        for (int i = 0; i < frames; ++i)
            P2PD_SendFrameData(av, frame.data(), size, header, sizeof header);
        unsigned int t;
        char b[4];
        avRecvIOCtrl(av, &t, b, sizeof b, 30000); // until the client is done
        P2PD_AvServStop(av);
        IOTC_Session_Close(sid);
    });
    const int sid = IOTC_Get_SessionID();
    IOTC_Connect_ByUID_Parallel("UID-bench", sid);
    const int av = avClientStart2(sid, "admin", "x", 5, nullptr, 0, nullptr);
    std::vector<char> buf(static_cast<size_t>(size) + 16);
    char header[AV_FRAME_HEADER_SIZE];
    unsigned int expected = 0;
    *lost = 0;
    size_t bytes = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (;;) {
        unsigned int n = 0;
        const int r = avRecvFrameData2(av, buf.data(), static_cast<int>(buf.size()), nullptr, nullptr, header,
                                       sizeof header, nullptr, &n);
        if (r > 0) {
            *lost += static_cast<int>(n - expected); // frames dropped before this one
            expected = n + 1;
            bytes += static_cast<size_t>(r);
            if (n + 1 == static_cast<unsigned int>(frames))
                break;
        } else if (r == AV_ER_DATA_NOREADY || r == AV_ER_LOSED_THIS_FRAME) {
            if (seconds(t0, std::chrono::steady_clock::now()) > 30)
                break;
            if (r == AV_ER_DATA_NOREADY)
                std::this_thread::yield();
        } else {
            break;
        }
    }
    const auto t1 = std::chrono::steady_clock::now();
    avSendIOCtrl(av, 1, nullptr, 0);
    device.join();
    avClientStop(av);
    IOTC_Session_Close(sid);
    P2PD_Unregister(dev);
    P2PDir_Stop(dir);
    return static_cast<double>(bytes) / seconds(t0, t1) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int size = argc > 2 ? std::atoi(argv[2]) : 65536;
    const double base = rawTcp(frames, size);
    int lost = 0;
    const double p2p = throughP2p(frames, size, &lost);
    std::printf("frames %d x %d bytes\n", frames, size);
    std::printf("raw loopback TCP: %.1f MB/s\n", base);
    std::printf("P2P AV channel:   %.1f MB/s (frames lost %d)\n", p2p, lost);
    std::printf("ratio P2P/raw: %.2f\n", p2p / base);
    return 0;
}

#pragma once

#include "p2p/avapi.h"
#include "p2p/p2psession.h" // and the wire's parsers

// One fuzz input for what a P2P peer sends. Byte 0 mod 4: 0, 1: a session's bytes,
// framed as its reader frames them, to a client (0: odd AV channels open with 512
// bytes a queue, even ones awaiting a login) or device (1); 2: a header, then an
// AvLogin; 3: directory lines. Traps on a broken rule.
inline void runP2PFuzzInput(const uint8_t* data, size_t size)
{
    using namespace vcp2p;
    if (size < 1)
        return;
    const uint8_t* p = data + 1;
    size_t n = size - 1;
    if (data[0] % 4 < 2) {
        P2PSession s(1, data[0] % 4 == 1);
        for (int c = 0; c < kChannels; ++c) {
            s.av[c].login = P2PAvChannel::Login::Waiting;
            s.av[c].open = c % 2 == 1;
            s.av[c].bufLimit = 512;
            s.rdt[c].localOpen = c % 3 != 0; // bytes for the others are dropped
        }
        for (WireHeader h; n >= 8 && P2PWire::decodeHeader(p, &h) && h.length <= n - 8; p += 8 + h.length, n -= 8 + h.length) {
            std::vector<char> payload(p + 8, p + 8 + h.length);
            if (s.receive(h, payload) != (h.kind != uint8_t(MsgKind::Bye)))
                __builtin_trap(); // only Bye ends the session
            for (int c = 0; c < kChannels; ++c) {
                const P2PAvChannel& ch = s.av[c];
                size_t used[2] = {0, 0};
                for (const auto* q : {&ch.video, &ch.audio})
                    for (size_t i = 0; i < q->size(); ++i) {
                        const P2PFrame& f = (*q)[i];
                        if ((f.lost && i > 0 && (*q)[i - 1].lost) || (!f.lost && f.message.size() < P2PFrame::kDataOffset))
                            __builtin_trap(); // one marker per run of losses; whole headers
                        used[q == &ch.audio] += f.lost ? 0 : f.size();
                    }
                if (used[0] != ch.videoBytes || used[1] != ch.audioBytes || used[0] > ch.bufLimit || used[1] > ch.bufLimit
                    || (ch.login == P2PAvChannel::Login::Refused && ch.loginCode >= 0)
                    || (!s.rdt[c].localOpen && !s.rdt[c].data.empty()))
                    __builtin_trap();
            }
        }
        return;
    }
    if (data[0] % 4 == 2) {
        WireHeader h;
        if (n >= 8 && P2PWire::decodeHeader(p, &h) && h.length > P2PFrame::kDataOffset + AV_MAX_FRAME_SIZE + 64)
            __builtin_trap(); // no peer makes a reader take more than the largest message
        const char* login = reinterpret_cast<const char*>(p) + std::min<size_t>(n, 8);
        const size_t length = n - std::min<size_t>(n, 8);
        std::string account, password;
        if (P2PWire::parseAvLogin(login, length, &account, &password)
            && (account.size() + password.size() + 2 > length || std::string(login).size() != account.size()
                || std::string(login + account.size() + 1) != password))
            __builtin_trap(); // both end at their NUL, inside the message
        return;
    }
    const std::string text(reinterpret_cast<const char*>(p), n);
    for (size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1) {
        const DirectoryRequest req = P2PWire::parseDirectoryRequest(text.substr(at, nl - at));
        std::string host;
        uint16_t port = 0;
        const bool found = P2PWire::parseResolveAnswer(text.substr(at, nl - at), &host, &port) == ResolveAnswer::At;
        if ((req.verb == DirectoryRequest::Register && (req.port == 0 || req.uid.size() > 20 || req.uid.find(' ') != std::string::npos))
            || (found && (host.empty() || port == 0)))
            __builtin_trap(); // an address the client could not connect to
    }
}

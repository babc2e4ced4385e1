#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

// One fuzz input through the client's frame path: the first byte picks the
// codec (bit 0) and the output size (bits 1-2); the rest is an encrypted frame
// in the wire format, decrypted with a fixed key and decoded. The decoders
// are kept across inputs like a real stream's.
void fuzzVideoFrame(const uint8_t* data, size_t size);

// The fixed key the inputs are encrypted with.
QByteArray fuzzMediaKey();

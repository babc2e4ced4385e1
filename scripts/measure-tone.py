#!/usr/bin/env python3
"""Measures the tone in a 16-bit mono WAV file (e.g. recorded from the
PulseAudio null sink monitor): for each run of sound, its length, peak, RMS
and the frequency from zero crossings.  scripts/measure-tone.py FILE.wav"""
import math
import struct
import sys
import wave

w = wave.open(sys.argv[1])
rate, n = w.getframerate(), w.getnframes()
d = struct.unpack('<%dh' % n, w.readframes(n))
blk = rate // 50  # 20 ms blocks
loud = [max(abs(v) for v in d[i:i + blk]) > 1000 for i in range(0, n - blk + 1, blk)]
runs, start = [], None
for k, on in enumerate(loud + [False]):
    if on and start is None:
        start = k
    elif not on and start is not None:
        runs.append((start * blk, k * blk))
        start = None
if not runs:
    print('silent')
for a, b in runs:
    s = d[a:b]
    zc = sum(1 for i in range(1, len(s)) if (s[i - 1] < 0) != (s[i] < 0))
    rms = math.sqrt(sum(v * v for v in s) / len(s))
    print('%.2f-%.2f s: peak %d rms %d freq %.1f Hz' % (a / rate, b / rate, max(abs(v) for v in s), rms,
                                                     zc / 2 / (len(s) / rate)))

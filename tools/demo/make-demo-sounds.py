#!/usr/bin/env python3
"""Makes the demo's two sounds (16-bit WAV, 44.1 kHz):
  orvotide-demo.wav  - 3 s of a slowly evolving bell-like tone at C4 (the
                       instrument's sample; Root Note 60)
  demo-input.wav     - 4 s of a short melodic phrase, the effect's input
Deterministic: the same files every run."""
import math
import struct
import sys
import wave

RATE = 44100


def write(path, left, right):
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        frames = bytearray()
        for l, r in zip(left, right):
            frames += struct.pack("<hh", int(max(-1, min(1, l)) * 32767), int(max(-1, min(1, r)) * 32767))
        w.writeframes(bytes(frames))


def bell(seconds=3.0, f0=261.6256):
    n = int(seconds * RATE)
    partials = [(1.0, 1.0, 0.9), (2.0, 0.5, 1.6), (3.01, 0.3, 2.2), (4.2, 0.2, 3.0), (5.43, 0.12, 4.0)]
    left, right = [], []
    for i in range(n):
        t = i / RATE
        swell = 0.6 + 0.4 * math.sin(2 * math.pi * 0.5 * t)
        l = r = 0.0
        for ratio, amp, decay in partials:
            a = amp * math.exp(-decay * t * 0.3) * swell
            l += a * math.sin(2 * math.pi * f0 * ratio * t)
            r += a * math.sin(2 * math.pi * f0 * ratio * t * 1.002 + 0.3)
        attack = min(1.0, t / 0.01)
        left.append(0.35 * attack * l)
        right.append(0.35 * attack * r)
    return left, right


def phrase(seconds=4.0):
    notes = [60, 64, 67, 72, 67, 64, 62, 65]
    n = int(seconds * RATE)
    step = n // len(notes)
    left, right = [], []
    for i in range(n):
        k = min(i // step, len(notes) - 1)
        t = (i - k * step) / RATE
        f = 440.0 * 2 ** ((notes[k] - 69) / 12)
        env = math.exp(-4 * t) * min(1.0, t / 0.005)
        s = env * (math.sin(2 * math.pi * f * t) + 0.3 * math.sin(4 * math.pi * f * t))
        left.append(0.4 * s)
        right.append(0.4 * s)
    return left, right


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    write(folder + "/orvotide-demo.wav", *bell())
    write(folder + "/demo-input.wav", *phrase())

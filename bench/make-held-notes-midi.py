#!/usr/bin/env python3
"""Writes a Standard MIDI File (format 0, 480 ticks per quarter note,
120 beats per minute) in which NOTES notes, a semitone apart from FIRST
upwards, all start at time 0 and are held for SECONDS seconds, on channel 1
after a program change to PROGRAM (General MIDI, 0-based). At SECONDS the
notes are released and an All Sound Off follows, so that a synthesizer that
renders until its last voice has died away stops there too."""
import argparse
import struct


def varlen(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, (value & 0x7F) | 0x80)
        value >>= 7
    return bytes(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("output")
    parser.add_argument("--notes", type=int, default=32)
    parser.add_argument("--first", type=int, default=48)
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--velocity", type=int, default=100)
    parser.add_argument("--program", type=int, default=19, help="0-based; 19 is Church Organ")
    args = parser.parse_args()
    if not 1 <= args.notes <= 128 or not 0 <= args.first <= 128 - args.notes:
        parser.error("the notes must lie within 0...127")

    division = 480
    tempo = 500000  # microseconds per quarter note
    hold = round(args.seconds * 1e6 / tempo * division)

    track = bytearray()
    track += varlen(0) + b"\xff\x51\x03" + struct.pack(">I", tempo)[1:]
    track += varlen(0) + bytes([0xC0, args.program & 0x7F])
    for i in range(args.notes):
        track += varlen(0) + bytes([0x90, args.first + i, args.velocity])
    for i in range(args.notes):
        track += varlen(hold if i == 0 else 0) + bytes([0x80, args.first + i, 0])
    track += varlen(0) + bytes([0xB0, 120, 0])
    track += varlen(0) + b"\xff\x2f\x00"

    with open(args.output, "wb") as f:
        f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, division))
        f.write(b"MTrk" + struct.pack(">I", len(track)) + track)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the fuzz target's seed corpus: a few valid OSC requests, one per
file, and a bundle holding two of them. Run from anywhere; writes into the
corpus folder beside this script."""
import os
import struct


def pad(b):
    return b + b"\0" * (4 - len(b) % 4)


def osc_string(s):
    return pad(s.encode())


def message(address, *args):
    tags, data = ",", b""
    for a in args:
        if isinstance(a, float):
            tags += "f"
            data += struct.pack(">f", a)
        elif isinstance(a, int):
            tags += "i"
            data += struct.pack(">i", a)
        else:
            tags += "s"
            data += osc_string(a)
    return osc_string(address) + osc_string(tags) + data


def bundle(*elements):
    out = osc_string("#bundle") + struct.pack(">Q", 1)
    for e in elements:
        out += struct.pack(">i", len(e)) + e
    return out


REPLY = "osc.udp://127.0.0.1:9"
seeds = {
    "ping": message("/ping", REPLY, "/pong"),
    "set": message("/set", 1, 0.5),
    "get": message("/get", 0, REPLY, "/value"),
    "getAll": message("/getAll", REPLY, "/all"),
    "getInfo": message("/getInfo", 3, REPLY, "/info"),
    "registerUpdate": message("/registerUpdate", 2, REPLY, "/update"),
    "unregisterUpdate": message("/unregisterUpdate", 2, REPLY, "/update"),
    "startNote": message("/startNote", 60, 0.8),
    "call": message("/call", "print", REPLY, "/result"),
    "bundle": bundle(message("/set", 3, 0.25), message("/get", 3, REPLY, "/value")),
}
here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
os.makedirs(here, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(here, name + ".osc"), "wb") as f:
        f.write(data)

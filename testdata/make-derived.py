#!/usr/bin/env python3
"""Derives test files from committed samples; ffmpeg cannot make them.

aac-22050-heaac.mp4: aac-22050-mono.mp4 with its AudioSpecificConfig
rewritten to explicit hierarchical SBR signalling (object type 5, core
22050 Hz mono, extension rate 44100 Hz, core type 2), as HE-AAC encoders
write it. The audio frames are the LC ones; only the configuration and the
sizes of the boxes around it change (moov follows mdat, so no chunk offset
moves).

aac-44100-truncated.m4a: the first half of aac-44100-stereo.m4a, as left by
an interrupted copy (the moov box at the end is lost).

Records what ffprobe reports for the HE-AAC file in ffprobe-derived.txt, in
the format of ffprobe.txt.
"""
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CONTAINERS = {b"moov", b"trak", b"mdia", b"minf", b"stbl"}
# Bytes between a box header and its children.
SKIP = {b"stsd": 8, b"mp4a": 28}


def find_esds(data, start, end, parents):
    """Offset of the esds box and the offsets of all its ancestors."""
    at = start
    while at + 8 <= end:
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        if size < 8 or at + size > end:
            raise SystemExit("bad box at %d" % at)
        if kind == b"esds":
            return at, parents
        if kind in CONTAINERS or kind in SKIP:
            found = find_esds(data, at + 8 + SKIP.get(kind, 0), at + size, parents + [at])
            if found:
                return found
        at += size
    return None


def read_descriptor(data, at):
    """(tag, body offset, body length) of the descriptor at at."""
    tag = data[at]
    at += 1
    length = 0
    for _ in range(4):
        b = data[at]
        at += 1
        length = (length << 7) | (b & 0x7F)
        if not b & 0x80:
            break
    return tag, at, length


def descriptor(tag, body):
    n = len(body)
    return bytes([tag, 0x80 | (n >> 21) & 0x7F, 0x80 | (n >> 14) & 0x7F, 0x80 | (n >> 7) & 0x7F,
                  n & 0x7F]) + body


def bits(fields):
    """Packs (value, width) pairs MSB first, padded to whole bytes."""
    value, width = 0, 0
    for v, w in fields:
        value = (value << w) | v
        width += w
    pad = (-width) % 8
    return (value << pad).to_bytes((width + pad) // 8, "big")


def heaac(source, target):
    data = bytearray(open(os.path.join(HERE, source), "rb").read())
    assert data.find(b"mdat") < data.find(b"moov"), "moov must follow mdat"
    esds, parents = find_esds(data, 0, len(data), [])
    esds_size = struct.unpack(">I", data[esds:esds + 4])[0]
    tag, es_body, es_len = read_descriptor(data, esds + 12)
    assert tag == 3
    es_head = data[es_body:es_body + 3]  # ES_ID and flags (ffmpeg sets none)
    tag, dc_body, dc_len = read_descriptor(data, es_body + 3)
    assert tag == 4
    dc_head = data[dc_body:dc_body + 13]
    tag, dsi_body, dsi_len = read_descriptor(data, dc_body + 13)
    assert tag == 5
    asc = data[dsi_body:dsi_body + dsi_len]
    core_type, rate_index, channels = asc[0] >> 3, ((asc[0] & 7) << 1) | (asc[1] >> 7), (asc[1] >> 3) & 15
    assert core_type == 2 and rate_index == 7, "expected AAC LC at 22050 Hz"
    new_asc = bits([(5, 5), (rate_index, 4), (channels, 4), (3, 4), (2, 5), (0, 3)])
    rest = data[dsi_body + dsi_len:es_body + es_len]  # SLConfig descriptor
    new_dc = descriptor(4, bytes(dc_head) + descriptor(5, new_asc))
    new_es = descriptor(3, bytes(es_head) + new_dc + bytes(rest))
    new_esds = struct.pack(">I4s", 12 + len(new_es), b"esds") + bytes(data[esds + 8:esds + 12]) + new_es
    delta = len(new_esds) - esds_size
    data[esds:esds + esds_size] = new_esds
    for at in parents:
        size = struct.unpack(">I", data[at:at + 4])[0]
        data[at:at + 4] = struct.pack(">I", size + delta)
    open(os.path.join(HERE, target), "wb").write(data)


def truncated(source, target):
    data = open(os.path.join(HERE, source), "rb").read()
    open(os.path.join(HERE, target), "wb").write(data[:len(data) // 2])


def probe(name):
    out = subprocess.run(["ffprobe", "-v", "error", "-ignore_editlist", "1", "-select_streams", "a:0",
                          "-show_entries", "stream=sample_rate,channels,duration_ts,time_base,duration",
                          "-of", "default=noprint_wrappers=1", os.path.join(HERE, name)],
                         check=True, capture_output=True, text=True).stdout
    v = dict(line.split("=", 1) for line in out.split())
    return "%s %s %s %s %s %s\n" % (name, v["sample_rate"], v["channels"], v["time_base"].split("/")[1],
                                    v["duration_ts"], v["duration"])


if __name__ == "__main__":
    heaac("aac-22050-mono.mp4", "aac-22050-heaac.mp4")
    truncated("aac-44100-stereo.m4a", "aac-44100-truncated.m4a")
    with open(os.path.join(HERE, "ffprobe-derived.txt"), "w") as record:
        record.write(probe("aac-22050-heaac.mp4"))
    sys.exit(0)

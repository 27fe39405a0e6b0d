#!/usr/bin/env python3
"""make-heaac.py LC_FILE HEAAC_FILE: rewrites the AudioSpecificConfig of an
AAC-LC file at 24000 Hz to explicit SBR signalling (object type 5, the core
rate, extension rate 48000 Hz, core type 2), as HE-AAC encoders write it.
The frames stay the LC ones, without SBR data; moov must follow mdat, so
no chunk offset moves. The box walking is make-derived.py's."""
import importlib.util
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location("derived", os.path.join(HERE, "..", "make-derived.py"))
derived = importlib.util.module_from_spec(spec)
spec.loader.exec_module(derived)


def heaac(source, target):
    data = bytearray(open(source, "rb").read())
    assert data.find(b"mdat") < data.find(b"moov"), "moov must follow mdat"
    esds, parents = derived.find_esds(data, 0, len(data), [])
    esds_size = struct.unpack(">I", data[esds:esds + 4])[0]
    tag, es_body, es_len = derived.read_descriptor(data, esds + 12)
    assert tag == 3
    tag, dc_body, dc_len = derived.read_descriptor(data, es_body + 3)
    assert tag == 4
    tag, dsi_body, dsi_len = derived.read_descriptor(data, dc_body + 13)
    assert tag == 5
    asc = data[dsi_body:dsi_body + dsi_len]
    core_type, rate_index, channels = asc[0] >> 3, ((asc[0] & 7) << 1) | (asc[1] >> 7), (asc[1] >> 3) & 15
    assert core_type == 2 and rate_index == 6, "expected AAC LC at 24000 Hz"
    new_asc = derived.bits([(5, 5), (rate_index, 4), (channels, 4), (3, 4), (2, 5), (0, 3)])
    rest = data[dsi_body + dsi_len:es_body + es_len]  # SLConfig descriptor
    new_dc = derived.descriptor(4, bytes(data[dc_body:dc_body + 13]) + derived.descriptor(5, new_asc))
    new_es = derived.descriptor(3, bytes(data[es_body:es_body + 3]) + new_dc + bytes(rest))
    new_esds = struct.pack(">I4s", 12 + len(new_es), b"esds") + bytes(data[esds + 8:esds + 12]) + new_es
    delta = len(new_esds) - esds_size
    data[esds:esds + esds_size] = new_esds
    for at in parents:
        size = struct.unpack(">I", data[at:at + 4])[0]
        data[at:at + 4] = struct.pack(">I", size + delta)
    open(target, "wb").write(data)


if __name__ == "__main__":
    heaac(sys.argv[1], sys.argv[2])

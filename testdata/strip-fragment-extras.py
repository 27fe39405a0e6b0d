#!/usr/bin/env python3
"""Rewrites a fragmented MP4 without the boxes the strict reader does not know:
tfdt inside traf and the trailing mfra. Fragment data offsets (relative to the
moof with default-base-is-moof) are shifted by the bytes removed."""
import struct
import sys


def boxes(data, start, end):
    pos = start
    while pos + 8 <= end:
        size, kind = struct.unpack('>I4s', data[pos:pos + 8])
        yield kind, data[pos:pos + size]
        pos += size


def box(kind, payload):
    return struct.pack('>I4s', 8 + len(payload), kind) + payload


def rewrite_traf(traf, removed_in_moof):
    out = b''
    for kind, body in boxes(traf, 8, len(traf)):
        if kind == b'tfdt':
            continue
        if kind == b'trun':
            flags = int.from_bytes(body[9:12], 'big')
            if flags & 0x1:
                offset = struct.unpack('>i', body[16:20])[0] - removed_in_moof
                body = body[:16] + struct.pack('>i', offset) + body[20:]
        out += body
    return box(b'traf', out)


def rewrite_moof(moof):
    removed = sum(len(b) for k, t in boxes(moof, 8, len(moof)) if k == b'traf'
                  for k2, b in boxes(t, 8, len(t)) if k2 == b'tfdt')
    out = b''
    for kind, body in boxes(moof, 8, len(moof)):
        out += rewrite_traf(body, removed) if kind == b'traf' else body
    return box(b'moof', out)


def main(src, dst):
    data = open(src, 'rb').read()
    out = b''
    for kind, body in boxes(data, 0, len(data)):
        if kind == b'mfra':
            continue
        out += rewrite_moof(body) if kind == b'moof' else body
    open(dst, 'wb').write(out)


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])

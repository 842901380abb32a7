#!/usr/bin/env python3
"""Builds a zip with scripts/make_release_zip.py from stand-in release files and reads its
raw bytes: the Chinese name must be stored in code page 936 without the UTF-8 flag (what
Chinese Windows XP's zip folder reads), with an Info-ZIP Unicode Path field (0x7075)
holding the UTF-8 name and the CRC-32 of the stored one, in the local header and in the
central directory alike; ASCII names stay plain. Info-ZIP's unzip must list the names.

usage: check_release_zip.py MAKE_RELEASE_ZIP"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

NAMES = ['preinstall.exe', 'preinstall_store64.exe', 'preinstall.msi', '使用说明.txt', 'detect.ps1', 'SHA256SUMS']
UTF8_FLAG = 0x800
LOCAL, CENTRAL = b'PK\x03\x04', b'PK\x01\x02'


def extra_fields(data):
    fields = {}
    while len(data) >= 4:
        kind, size = struct.unpack_from('<HH', data)
        fields[kind] = data[4:4 + size]
        data = data[4 + size:]
    return fields


def headers(archive):
    """(kind, flags, name bytes, extra fields) of every local and central header."""
    found, position = [], 0
    while True:
        local, central = archive.find(LOCAL, position), archive.find(CENTRAL, position)
        starts = [start for start in (local, central) if start >= 0]
        if not starts:
            return found
        start = min(starts)
        if start == local:
            flags, = struct.unpack_from('<H', archive, start + 6)
            name_length, extra_length = struct.unpack_from('<HH', archive, start + 26)
            name_at, kind = start + 30, 'local'
            position = name_at + name_length + extra_length + struct.unpack_from('<I', archive, start + 18)[0]
        else:
            flags, = struct.unpack_from('<H', archive, start + 8)
            name_length, extra_length, comment_length = struct.unpack_from('<HHH', archive, start + 28)
            name_at, kind = start + 46, 'central'
            position = name_at + name_length + extra_length + comment_length
        name = archive[name_at:name_at + name_length]
        found.append((kind, flags, name, extra_fields(archive[name_at + name_length:name_at + name_length + extra_length])))


def failures_of(archive):
    failures = []
    for kind, flags, name, extra in headers(archive):
        where = f'{kind} header of {name!r}'
        if flags & UTF8_FLAG:
            failures.append(f'{where}: the UTF-8 flag is set')
        if name.isascii():
            continue
        if name != '使用说明.txt'.encode('cp936'):
            failures.append(f'{where}: the name is not 使用说明.txt in code page 936')
        field = extra.get(0x7075)
        if field is None:
            failures.append(f'{where}: no Unicode Path field')
            continue
        version, crc = struct.unpack_from('<BI', field)
        if (version, crc, field[5:]) != (1, zlib.crc32(name), '使用说明.txt'.encode('utf-8')):
            failures.append(f'{where}: the Unicode Path field is wrong: {field!r}')
    kinds = sorted(kind for kind, _, _, _ in headers(archive))
    if kinds != ['central'] * len(NAMES) + ['local'] * len(NAMES):
        failures.append(f'expected {len(NAMES)} entries with both headers, found {kinds}')
    return failures


def main():
    work = tempfile.mkdtemp()
    try:
        paths = []
        for name in NAMES:
            paths.append(os.path.join(work, name))
            with open(paths[-1], 'wb') as out:
                out.write(name.encode('utf-8') * 100)
        archive = os.path.join(work, 'release.zip')
        subprocess.run([sys.executable, sys.argv[1], archive, '1700000000', *paths], check=True)
        failures = failures_of(open(archive, 'rb').read())
        listed = subprocess.run(['unzip', '-Z1', archive], capture_output=True, check=True).stdout.decode('utf-8')
        if listed.split() != NAMES:
            failures.append(f'unzip lists {listed.split()}, expected {NAMES}')
    finally:
        shutil.rmtree(work)
    print('\n'.join(failures) or 'release zip: code page 936 names with Unicode Path fields, no UTF-8 flag')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

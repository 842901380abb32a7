#!/usr/bin/env python3
"""Writes the release zip: the given files under their own names, in the given order,
deflated, every entry dated EPOCH (seconds) with fixed attributes, so that the same
files make the same bytes anywhere.

A name outside ASCII is stored in code page 936 without the zip's UTF-8 flag, which the
built-in zip folder of Chinese Windows XP does not read, and again in UTF-8 in an Info-ZIP
Unicode Path extra field (0x7075) for the tools that read that.

usage: make_release_zip.py ARCHIVE EPOCH FILE..."""
import os
import struct
import sys
import time
import zipfile
import zlib

UNICODE_PATH_FIELD = 0x7075


class ChineseWindowsZipInfo(zipfile.ZipInfo):
    """An entry whose name is stored in code page 936 rather than flagged UTF-8."""

    def __init__(self, name, date_time):
        super().__init__(name, date_time)
        if not name.isascii():
            legacy, utf8 = name.encode('cp936'), name.encode('utf-8')
            self.extra = struct.pack('<HHBI', UNICODE_PATH_FIELD, 5 + len(utf8), 1, zlib.crc32(legacy)) + utf8

    def _encodeFilenameFlags(self):  # zipfile's hook for the name's bytes and flag bits
        if self.filename.isascii():
            return super()._encodeFilenameFlags()
        return self.filename.encode('cp936'), self.flag_bits


def write(archive, epoch, paths):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip dates start in 1980
    with zipfile.ZipFile(archive, 'w') as zip_file:
        for path in paths:
            entry = ChineseWindowsZipInfo(os.path.basename(path), stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.external_attr = 0o644 << 16
            entry.create_system = 3  # the same host system whoever builds it
            with open(path, 'rb') as data:
                zip_file.writestr(entry, data.read())


if __name__ == '__main__':
    write(sys.argv[1], int(sys.argv[2]), sys.argv[3:])

#!/usr/bin/env python3
"""Checks a built Windows executable without running it: it carries the application
manifest and the main icon (32x32 and 16x16, 256 colours) as resources, imports only
Windows' own DLLs, and declares the oldest Windows it is meant to start on.

With --allowed, every imported function must stand in the allow-list FILE: lines of
"DLL FUNCTION  minimum Windows client per Microsoft's documentation".

usage: check_executable.py EXE [--subsystem MAJOR.MINOR] [--allowed FILE]"""
import argparse
import struct
import sys

# Known DLLs of every Windows since 2000: the loader takes them only from the system.
WINDOWS_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'msvcrt.dll'}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


class Pe:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('not a PE file')
        sections = struct.unpack_from('<H', data, pe + 6)[0]
        optional_size = struct.unpack_from('<H', data, pe + 20)[0]
        self.optional = pe + 24
        magic = struct.unpack_from('<H', data, self.optional)[0]
        self.optional_magic = magic
        directories = self.optional + (96 if magic == 0x10B else 112)
        self.subsystem_version = struct.unpack_from('<HH', data, self.optional + 48)
        self.directories = [struct.unpack_from('<II', data, directories + 8 * i) for i in range(16)]
        table = self.optional + optional_size
        self.sections = [struct.unpack_from('<8sIIII', data, table + 40 * i) for i in range(sections)]

    def offset(self, rva):
        for _, size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError('address outside every section')

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b'\0', start)].decode('ascii')

    def imports(self):
        """{dll: [function names]} of the import table (lower-case DLL names)."""
        pointer_size, ordinal_flag = (4, 1 << 31) if self.optional_magic == 0x10B else (8, 1 << 63)
        rva = self.directories[1][0]
        found = {}
        while True:
            entry = struct.unpack_from('<IIIII', self.data, self.offset(rva))
            if entry[3] == 0:
                return found
            names = found.setdefault(self.string(entry[3]).lower(), [])
            thunk = entry[0] or entry[4]
            while True:
                value = struct.unpack_from('<Q' if pointer_size == 8 else '<I', self.data, self.offset(thunk))[0]
                if value == 0:
                    break
                names.append(f'#{value & 0xFFFF}' if value & ordinal_flag else self.string((value & 0x7FFFFFFF) + 2))
                thunk += pointer_size
            rva += 20

    def resources(self):
        """{(type, id): bytes} for resources with numeric type and id."""
        base_rva = self.directories[2][0]
        if base_rva == 0:
            return {}
        base = self.offset(base_rva)

        def entries(offset):
            named, numbered = struct.unpack_from('<HH', self.data, base + offset + 12)
            for i in range(named + numbered):
                yield struct.unpack_from('<II', self.data, base + offset + 16 + 8 * i)

        found = {}
        for type_id, type_next in entries(0):
            for name_id, name_next in entries(type_next & 0x7FFFFFFF):
                for _, leaf in entries(name_next & 0x7FFFFFFF):
                    rva, size = struct.unpack_from('<II', self.data, base + leaf)
                    found[(type_id, name_id)] = self.data[self.offset(rva):self.offset(rva) + size]
        return found


def read_allow_list(path):
    allowed = set()
    for line in open(path, encoding='utf-8'):
        line = line.split('#', 1)[0].strip()
        if line:
            dll, function = line.split()[:2]
            allowed.add((dll.lower(), function))
    return allowed


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument('exe')
    arguments.add_argument('--subsystem')
    arguments.add_argument('--allowed')
    options = arguments.parse_args()
    path = options.exe
    failures = []
    pe = Pe(open(path, 'rb').read())
    resources = pe.resources()

    manifest = resources.get((RT_MANIFEST, 1), b'')
    if b'requireAdministrator' not in manifest or b'Microsoft.Windows.Common-Controls' not in manifest:
        failures.append('no application manifest (resource 1 of type RT_MANIFEST)')
    if (RT_VERSION, 1) not in resources:
        failures.append('no version information')

    group = resources.get((RT_GROUP_ICON, 1))
    if group is None:
        failures.append('no main icon (icon group 1)')
    else:
        count = struct.unpack_from('<H', group, 4)[0]
        images = [struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i) for i in range(count)]
        sizes = sorted((width, bits) for width, _, _, _, _, bits, _, _ in images)
        if sizes != [(16, 8), (32, 8)]:
            failures.append(f'main icon images are {sizes}, expected 16x16 and 32x32 in 256 colours')
        for image in images:
            if (RT_ICON, image[7]) not in resources:
                failures.append(f'icon image {image[7]} is missing')

    imports = pe.imports()
    foreign = [dll for dll in imports if dll not in WINDOWS_DLLS]
    if foreign:
        failures.append('imports DLLs that are not part of Windows: ' + ', '.join(foreign))
    if options.allowed:
        allowed = read_allow_list(options.allowed)
        for dll, functions in sorted(imports.items()):
            for function in functions:
                if (dll, function) not in allowed:
                    failures.append(f'imports {dll} {function}, which {options.allowed} does not allow')

    if options.subsystem:
        wanted = tuple(int(part) for part in options.subsystem.split('.'))
        if pe.subsystem_version != wanted:
            failures.append(f'subsystem version {pe.subsystem_version}, expected {wanted}')

    for failure in failures:
        print(f'{path}: {failure}')
    if not failures:
        print(f'{path}: manifest, icon, version information and imports as expected')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

#!/usr/bin/env python3
"""Checks a built Windows executable without running it: it carries the application
manifest and the main icon (32x32 and 16x16, 256 colours) as resources, imports only
Windows' own DLLs, is Terminal-Server aware, and declares the oldest Windows it is meant
to start on.

With --allowed, every imported function must stand in the allow-list FILE: lines of
"DLL FUNCTION  minimum Windows client per Microsoft's documentation".
With --delayed DLL[,DLL...], those DLLs must be delay-loaded, not imported at start-up.
With --version, the version resource (numbers and strings) and the manifest's assembly
version must all be that version (MAJOR.MINOR.PATCH, shown as MAJOR.MINOR.PATCH.0).

usage: check_executable.py EXE [--subsystem MAJOR.MINOR] [--allowed FILE] [--delayed DLLS] [--version V]"""
import argparse
import re
import struct
import sys

import pefile

# Known DLLs of every Windows since 2000: the loader takes them only from the system.
WINDOWS_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'advapi32.dll', 'msvcrt.dll'}
IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE = 0x8000
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = (pefile.RESOURCE_TYPE[name] for name in
                                                   ('RT_ICON', 'RT_GROUP_ICON', 'RT_VERSION', 'RT_MANIFEST'))


def resources(pe):
    """{(type, id): bytes} for resources with numeric type and id."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, 'DIRECTORY_ENTRY_RESOURCE') else []:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                found[(kind.id, name.id)] = pe.get_data(data.OffsetToData, data.Size)
    return found


def imports(pe):
    """{dll: [function names or #ordinals]} of the import table (lower-case DLL names)."""
    found = {}
    for entry in getattr(pe, 'DIRECTORY_ENTRY_IMPORT', []):
        names = found.setdefault(entry.dll.decode('ascii').lower(), [])
        names += [i.name.decode('ascii') if i.name else f'#{i.ordinal}' for i in entry.imports]
    return found


def delay_imports(pe):
    """{dll: [(function name or #ordinal, address of its slot)]} of the delay-load
    descriptors (lower-case DLL names). GNU ld leaves the delay-import directory empty, so the descriptors are found by
    their shape: attributes 1 (RVAs), a DLL name, module handle, address and name tables
    inside the image, no time stamp."""
    image = pe.get_memory_mapped_image()
    found = {}
    for offset in range(0, len(image) - 32, 4):
        attributes, name, module, addresses, names, _, _, stamp = struct.unpack_from('<8I', image, offset)
        if attributes != 1 or stamp or not all(0 < rva < len(image) for rva in (name, module, addresses, names)):
            continue
        dll = image[name:name + 64].split(b'\0', 1)[0]
        if not dll.lower().endswith(b'.dll'):
            continue
        descriptor = (pe.parse_delay_import_directory(offset, 32) or [None])[0]
        if descriptor is not None and descriptor.dll == dll:
            found[dll.decode('ascii').lower()] = [(i.name.decode('ascii') if i.name else f'#{i.ordinal}', i.address)
                                                  for i in descriptor.imports]
    return found


def unbound_delay_slots(pe, delayed):
    """Delay-load slots that do not point into the program's code: the first call through
    one of them would jump there instead of loading the DLL."""
    width = 8 if pe.PE_TYPE == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS else 4
    base = pe.OPTIONAL_HEADER.ImageBase
    code = [(base + s.VirtualAddress, base + s.VirtualAddress + s.Misc_VirtualSize) for s in pe.sections
            if s.Characteristics & pefile.SECTION_CHARACTERISTICS['IMAGE_SCN_MEM_EXECUTE']]
    failures = []
    for dll, functions in sorted(delayed.items()):
        for function, slot in functions:
            target = int.from_bytes(pe.get_data(slot - base, width), 'little')
            if not any(start <= target < end for start, end in code):
                failures.append(f'delay-load slot of {dll} {function} holds {target:#x}, not the address of its stub')
    return failures


def delayed_failures(imported, delayed, wanted):
    """The DLLs in `wanted` must be loaded on first use only: an unattended run shows no
    window, and loading the window's DLLs is most of a start under Wine."""
    failures = [f'imports {dll} at start-up; it must be delay-loaded' for dll in wanted if dll in imported]
    failures += [f'does not delay-load {dll}' for dll in wanted if dll not in delayed and dll not in imported]
    return failures


def read_allow_list(path):
    allowed = set()
    for line in open(path, encoding='utf-8'):
        line = line.split('#', 1)[0].strip()
        if line:
            dll, function = line.split()[:2]
            allowed.add((dll.lower(), function))
    return allowed


def icon_failures(found):
    """What is wrong with the main icon group (id 1) and its images."""
    group = found.get((RT_GROUP_ICON, 1))
    if group is None:
        return ['no main icon (icon group 1)']
    count = struct.unpack_from('<H', group, 4)[0]
    images = [struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i) for i in range(count)]
    failures = []
    sizes = sorted((width, bits) for width, _, _, _, _, bits, _, _ in images)
    if sizes != [(16, 8), (32, 8)]:
        failures.append(f'main icon images are {sizes}, expected 16x16 and 32x32 in 256 colours')
    failures += [f'icon image {image[7]} is missing' for image in images if (RT_ICON, image[7]) not in found]
    return failures


def tsaware_failures(pe):
    """Without the Terminal-Server-aware flag, a Remote Desktop server gives the program a
    private per-user Windows directory, and the driver would be staged there."""
    if pe.OPTIONAL_HEADER.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE:
        return []
    return ['not Terminal-Server aware (DllCharacteristics 0x8000): link with --tsaware']


def version_failures(pe, manifest, version):
    """Where the version resource or the manifest disagree with `version`."""
    wanted = version + '.0'
    numbers = tuple(int(part) for part in wanted.split('.'))
    failures = []
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, 'VS_FIXEDFILEINFO', None) else None
    for field in ('FileVersion', 'ProductVersion'):
        if fixed is not None:
            high, low = getattr(fixed, field + 'MS'), getattr(fixed, field + 'LS')
            shown = (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)
            if shown != numbers:
                failures.append(f'{field} number {shown}, expected {numbers}')
    strings = {}
    for info in getattr(pe, 'FileInfo', [[]])[0]:
        for table in getattr(info, 'StringTable', []):
            strings.update({key.decode(): value.decode() for key, value in table.entries.items()})
    for field in ('FileVersion', 'ProductVersion'):
        if strings.get(field) != wanted:
            failures.append(f'{field} string {strings.get(field)!r}, expected {wanted!r}')
    identity = re.search(rb'<assemblyIdentity[^>]*name="IcCardReader[^"]*"[^>]*version="([^"]*)"', manifest)
    if identity is None or identity.group(1).decode() != wanted:
        failures.append(f'manifest assembly version {identity and identity.group(1)}, expected {wanted!r}')
    return failures


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument('exe')
    arguments.add_argument('--subsystem')
    arguments.add_argument('--allowed')
    arguments.add_argument('--version')
    arguments.add_argument('--delayed')
    options = arguments.parse_args()
    path = options.exe
    pe = pefile.PE(path)
    found = resources(pe)
    failures = []

    manifest = found.get((RT_MANIFEST, 1), b'')
    if b'requireAdministrator' not in manifest or b'Microsoft.Windows.Common-Controls' not in manifest:
        failures.append('no application manifest (resource 1 of type RT_MANIFEST)')
    if (RT_VERSION, 1) not in found:
        failures.append('no version information')
    failures += icon_failures(found)
    failures += tsaware_failures(pe)

    imported = imports(pe)
    delayed_slots = delay_imports(pe)
    delayed = {dll: [name for name, _ in functions] for dll, functions in delayed_slots.items()}
    failures += unbound_delay_slots(pe, delayed_slots)
    foreign = [dll for dll in {**imported, **delayed} if dll not in WINDOWS_DLLS]
    if foreign:
        failures.append('imports DLLs that are not part of Windows: ' + ', '.join(foreign))
    if options.allowed:
        allowed = read_allow_list(options.allowed)
        failures += [f'imports {dll} {function}, which {options.allowed} does not allow'
                     for table in (imported, delayed) for dll, functions in sorted(table.items())
                     for function in functions if (dll, function) not in allowed]
    if options.delayed:
        failures += delayed_failures(imported, delayed, options.delayed.lower().split(','))

    if options.subsystem:
        wanted = tuple(int(part) for part in options.subsystem.split('.'))
        header = pe.OPTIONAL_HEADER
        actual = (header.MajorSubsystemVersion, header.MinorSubsystemVersion)
        if actual != wanted:
            failures.append(f'subsystem version {actual}, expected {wanted}')

    if options.version:
        failures += version_failures(pe, manifest, options.version)

    for failure in failures:
        print(f'{path}: {failure}')
    if not failures:
        print(f'{path}: manifest, icon, version information and imports as expected')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

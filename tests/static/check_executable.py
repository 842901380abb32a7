#!/usr/bin/env python3
"""Checks a built Windows executable without running it: it carries the application
manifest and the main icon (32x32 and 16x16, 256 colours) as resources, imports only
Windows' own DLLs, is Terminal-Server aware, and declares the oldest Windows it is meant
to start on.

With --allowed, every imported function must stand in the allow-list FILE: lines of
"DLL FUNCTION  # where Microsoft documents it" (the list's header says how).
With --delayed DLL[,DLL...], those DLLs must be delay-loaded, not imported at start-up.
With --version, the version resource (numbers and strings) and the manifest's assembly
version must all be that version (MAJOR.MINOR.PATCH, shown as MAJOR.MINOR.PATCH.0).
With --oldest-x64 (and --allowed), no imported function's entry may say that it is "NOT
on XP x64" (its "| x64:" field): the program must start on the oldest x64 Windows, XP x64
and Server 2003 SP1.
With --library, EXE is a DLL that Windows Installer loads (the package's custom actions):
no manifest, icon, version information or Terminal-Server flag, and msi.dll among the
DLLs it may import; with --exports NAME[,NAME...] it must export those names undecorated.
With --windows-2000-sources FILE, every entry of that allow-list, imported or not, must
name a source that documents the function on Windows 2000 or an older Windows NT (its
"| 2000: VERSION — SOURCE: "PHRASE"" field). EXE may then be left out.
With --only-imported FILE --imported-by EXE [--imported-by EXE ...], every entry of that
allow-list must be imported (at start-up or delay-loaded) by one of those executables: a
list that allows more than the builds import no longer says what they need.

usage: check_executable.py EXE [--subsystem MAJOR.MINOR] [--allowed FILE [--oldest-x64]] [--delayed DLLS]
                           [--version V] [--library [--exports NAMES]] [--windows-2000-sources FILE]
                           [--only-imported FILE --imported-by EXE...]"""
import argparse
import re
import struct
import sys

import pefile

# Known DLLs of every Windows since 2000: the loader takes them only from the system.
WINDOWS_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'advapi32.dll', 'msvcrt.dll'}
# A custom-action DLL runs in Windows Installer's process, which has loaded msi.dll.
INSTALLER_DLLS = WINDOWS_DLLS | {'msi.dll'}
IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE = 0x8000
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = (pefile.RESOURCE_TYPE[name] for name in
                                                   ('RT_ICON', 'RT_GROUP_ICON', 'RT_VERSION', 'RT_MANIFEST'))
# The Windows an allow-list's "2000:" field may name, each with the numbers one of which
# the quoted phrase must contain. The 1998 library calls Windows 2000 "version 5.0".
WINDOWS_2000_OR_OLDER = {'Windows 2000': ('2000', '5.0'), 'Windows NT 4.0': ('4.0',), 'Windows NT 3.51': ('3.51',),
                         'Windows NT 3.5': ('3.5',), 'Windows NT 3.1': ('3.1',)}
WINDOWS_2000_FIELD = re.compile(r'\|\s*2000:\s*(?P<version>.*?)\s+—\s+(?P<source>.*?):\s+"(?P<phrase>[^"]+)"\s*$')


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
    """{(dll, function)} of the allow-list at `path` (lower-case DLL names): lines of
    "DLL FUNCTION  # comment"."""
    allowed = set()
    for line in open(path, encoding='utf-8'):
        line = line.split('#', 1)[0].strip()
        if line:
            dll, function = line.split()[:2]
            allowed.add((dll.lower(), function))
    return allowed


def read_allow_list_comments(path):
    """[(dll, function, comment)] of the allow-list's entries, the comment being what
    follows the entry's '#'."""
    entries = []
    for line in open(path, encoding='utf-8'):
        entry, _, comment = line.partition('#')
        if entry.strip():
            dll, function = entry.split()[:2]
            entries.append((dll.lower(), function, comment.strip()))
    return entries


def windows_2000_source_problem(comment):
    """Why `comment` does not show the function on Windows 2000, or None if it does: it
    needs a "2000:" field naming Windows 2000 or an older Windows NT, a source, and the
    source's words in quotes, which contain that version's number."""
    field = WINDOWS_2000_FIELD.search(comment)
    if field is None:
        if '2000:' not in comment:
            return 'no "2000:" field'
        return comment[comment.index('2000:'):]
    numbers = WINDOWS_2000_OR_OLDER.get(field['version'])
    if numbers is None:
        return f'2000: {field["version"]}'
    if not any(number in field['phrase'] for number in numbers):
        return f'the quoted words do not name {field["version"]}: "{field["phrase"]}"'
    return None


def oldest_x64_failures(path, imported):
    """Imported functions whose entry in the allow-list at `path` does not place them on the
    oldest x64 Windows (XP x64, Server 2003 SP1), which refuses to start a program that
    imports a function it lacks."""
    comments = {(dll, function): comment for dll, function, comment in read_allow_list_comments(path)}
    return [f'imports {dll} {function}, which {path} does not place on XP x64 / Server 2003'
            for table in imported for dll, functions in sorted(table.items()) for function in functions
            if '| x64:' not in comments.get((dll, function), '') or 'NOT on XP x64' in comments[(dll, function)]]


def windows_2000_failures(path):
    """Entries of the allow-list at `path` that no source shows on Windows 2000 or an
    older Windows NT. Windows 2000 refuses to start a program that imports a function it
    lacks, so such a function is to be looked up at run time until a source shows it."""
    failures = []
    for dll, function, comment in read_allow_list_comments(path):
        problem = windows_2000_source_problem(comment)
        if problem is not None:
            failures.append(f'allows {dll} {function}, which no source shows on Windows 2000 ({problem})')
    return failures


def imported_functions(path):
    """{(dll, function)} that the executable at `path` imports, at start-up or delay-loaded."""
    pe = pefile.PE(path)
    delayed = {dll: [name for name, _ in functions] for dll, functions in delay_imports(pe).items()}
    return {(dll, function) for table in (imports(pe), delayed) for dll, functions in table.items()
            for function in functions}


def unimported_failures(path, executables):
    """Entries of the allow-list at `path` that none of `executables` imports."""
    used = set().union(*(imported_functions(executable) for executable in executables))
    return [f'allows {dll} {function}, which nothing imports' for dll, function, _ in read_allow_list_comments(path)
            if (dll, function) not in used]


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


def export_failures(pe, wanted):
    """Windows Installer calls a custom action by the name in its CustomAction table: each
    must be exported as it is, not in its stdcall decoration (Name@4)."""
    directory = getattr(pe, 'DIRECTORY_ENTRY_EXPORT', None)
    exported = {symbol.name.decode('ascii') for symbol in directory.symbols if symbol.name} if directory else set()
    return [f'does not export {name} (exports {sorted(exported)})' for name in wanted if name not in exported]


def executable_failures(path, options):
    """What is wrong with the executable at `path`, given the command line's options."""
    pe = pefile.PE(path)
    found = resources(pe)
    failures = []

    manifest = found.get((RT_MANIFEST, 1), b'')
    if options.library:
        failures += export_failures(pe, options.exports.split(',') if options.exports else [])
    else:
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
    foreign = [dll for dll in {**imported, **delayed} if dll not in (INSTALLER_DLLS if options.library else WINDOWS_DLLS)]
    if foreign:
        failures.append('imports DLLs that are not part of Windows: ' + ', '.join(foreign))
    if options.allowed:
        allowed = read_allow_list(options.allowed)
        failures += [f'imports {dll} {function}, which {options.allowed} does not allow'
                     for table in (imported, delayed) for dll, functions in sorted(table.items())
                     for function in functions if (dll, function) not in allowed]
        if options.oldest_x64:
            failures += oldest_x64_failures(options.allowed, (imported, delayed))
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
    return failures


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument('exe', nargs='?')
    arguments.add_argument('--subsystem')
    arguments.add_argument('--allowed')
    arguments.add_argument('--version')
    arguments.add_argument('--delayed')
    arguments.add_argument('--oldest-x64', action='store_true')
    arguments.add_argument('--library', action='store_true')
    arguments.add_argument('--exports')
    arguments.add_argument('--windows-2000-sources', metavar='FILE')
    arguments.add_argument('--only-imported', metavar='FILE')
    arguments.add_argument('--imported-by', metavar='EXE', action='append', default=[])
    options = arguments.parse_args()
    if options.exe is None and options.windows_2000_sources is None and options.only_imported is None:
        arguments.error('the following arguments are required: exe')
    if options.only_imported and not options.imported_by:
        arguments.error('--only-imported needs --imported-by')
    reports = []  # (path, failures, what is as expected when nothing failed)
    if options.exe:
        expected = 'exports and imports' if options.library else 'manifest, icon, version information and imports'
        reports.append((options.exe, executable_failures(options.exe, options), expected + ' as expected'))
    if options.windows_2000_sources:
        reports.append((options.windows_2000_sources, windows_2000_failures(options.windows_2000_sources),
                        'every function allowed is documented on Windows 2000 or an older Windows NT'))
    if options.only_imported:
        reports.append((options.only_imported, unimported_failures(options.only_imported, options.imported_by),
                        'every function allowed is imported by ' + ', '.join(options.imported_by)))

    for path, failures, expected in reports:
        for failure in failures:
            print(f'{path}: {failure}')
        if not failures:
            print(f'{path}: {expected}')
    return 1 if any(failures for _, failures, _ in reports) else 0


if __name__ == '__main__':
    sys.exit(main())

#!/usr/bin/env python3
"""The detection script that ships in the release zip must read what the program writes:
the marker's key, its value names and the registry view they are in, as the program's
own source names them.

usage: check_detect_script.py SOURCE_ROOT"""
import os
import re
import sys


def cpp_string(path, name):
    """The text of the string constant `name` in a C++ source (wide or narrow)."""
    source = open(path, encoding='utf-8').read()
    found = re.search(r'\b' + name + r'(?:\[\])?\s*=\s*L?"((?:[^"\\]|\\.)*)"', source)
    if found is None:
        sys.exit(f'{path}: no constant {name}')
    return found.group(1).replace('\\\\', '\\')


def marker_values(root):
    """The names of the marker's values, from the program's table of them."""
    records = os.path.join(root, 'staging', 'DeploymentRecords.cpp')
    source = open(records, encoding='utf-8').read()
    table = re.search(r'kMarkerValues\{\{(.*?)\n\}\};', source, re.S)
    if table is None:
        sys.exit(f'{records}: no table kMarkerValues')
    header = os.path.join(root, 'staging', 'DeploymentRecords.h')
    names = set(re.findall(r'^\s*\{"(\w+)"', table.group(1), re.M))
    names |= {cpp_string(header, constant) for constant in re.findall(r'^\s*\{(kMarker\w+)', table.group(1), re.M)}
    return names


def main():
    root = sys.argv[1]
    script = open(os.path.join(root, 'resources', 'detect.ps1'), encoding='utf-8').read()
    keys = os.path.join(root, 'win32', 'MachineKeys.h')
    failures = []
    key = cpp_string(keys, 'kMarkerKey')
    if f"OpenSubKey('{key}')" not in script:
        failures.append(f'the script does not open the marker key {key}')
    written = marker_values(root)
    read = set(re.findall(r"GetValue\('(\w+)'\)", script))
    for value in sorted(read - written):
        failures.append(f'the script reads {value}, which the program does not write in the marker')
    for value in ('Installed', 'DriverStoreInf'):
        if value not in read:
            failures.append(f'the script does not read the value {value}')
    # The program writes its keys in the 32-bit view on 64-bit Windows.
    if 'KEY_WOW64_32KEY' not in open(os.path.join(root, 'win32', 'MachineKeys.cpp'), encoding='utf-8').read():
        failures.append('the program no longer writes its keys in the 32-bit view')
    if '[Microsoft.Win32.RegistryView]::Registry32' not in script:
        failures.append('the script does not read the 32-bit view')
    if 'Write-Error' in script or re.search(r'^\s*exit\s+[1-9]', script, re.M):
        failures.append('the script writes errors or ends in another code than 0')
    for failure in failures:
        print(f'detect.ps1: {failure}')
    if not failures:
        print('detect.ps1: reads the marker the program writes, in its view')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

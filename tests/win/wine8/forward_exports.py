#!/usr/bin/env python3
"""Writes a module-definition file that forwards every named export of a DLL to a copy
of it under another name, except the ones given as NAME=OURS, which this DLL exports
from its own function OURS.
  forward_exports.py DLL COPY_NAME OUTPUT.def [NAME=OURS ...]"""
import sys

import pefile


def main():
    dll, copy_name, output, *own = sys.argv[1:]
    replaced = dict(item.split('=', 1) for item in own)
    image = pefile.PE(dll, fast_load=True)
    image.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY['IMAGE_DIRECTORY_ENTRY_EXPORT']])
    names = sorted(entry.name.decode() for entry in image.DIRECTORY_ENTRY_EXPORT.symbols if entry.name)
    missing = set(replaced) - set(names)
    if missing:
        sys.exit(f'forward_exports.py: {dll} exports no {", ".join(sorted(missing))}')
    lines = ['LIBRARY setupapi.dll', 'EXPORTS']
    for name in names:
        target = replaced.get(name, f'{copy_name}.{name}')
        lines.append(f'  {name}={target}')
    with open(output, 'w', encoding='ascii') as out:
        out.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()

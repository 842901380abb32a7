#!/usr/bin/env python3
"""Checks that the build knows what a program's resource scripts include: each given file
must be an input of one of the program's compiled resources, so that editing it rebuilds
the program. (Without that, an edited manifest, icon or message table leaves a stale
executable.)

usage: check_resource_dependencies.py NINJA BUILD_DIR PROGRAM FILE..."""
import os
import subprocess
import sys


def inputs(ninja, build, target):
    """The explicit and implicit inputs of a ninja target, as ninja names them."""
    out = subprocess.run([ninja, '-C', build, '-t', 'query', target], check=True, capture_output=True,
                         text=True).stdout
    found, reading = [], False
    for line in out.splitlines():
        entry = line.strip()
        if not line.startswith('    '):  # a heading: "input: RULE" or "outputs:"
            reading = entry.startswith('input:')
        elif reading and not entry.startswith('||'):  # order-only inputs do not rebuild
            found.append(entry.lstrip('|').strip())
    return found


def main():
    ninja, build, program, *files = sys.argv[1:]
    resources = [path for path in inputs(ninja, build, program) if path.endswith('.rc.res') or path.endswith('.rc.obj')]
    if not resources:
        print(f'{program}: no compiled resource script among its inputs')
        return 1
    present = {os.path.abspath(os.path.join(build, path)) for res in resources for path in inputs(ninja, build, res)}
    missing = [path for path in files if os.path.abspath(path) not in present]
    for path in missing:
        print(f'{program}: editing {path} would not rebuild it')
    if not missing:
        print(f'{program}: rebuilt when any of {len(files)} included files changes')
    return 1 if missing else 0


if __name__ == '__main__':
    sys.exit(main())

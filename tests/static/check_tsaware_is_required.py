#!/usr/bin/env python3
"""The executable check must notice a program without the Terminal-Server-aware flag: this
clears the flag of a copy of EXE (in memory) and expects the check to report it.

usage: check_tsaware_is_required.py EXE"""
import os
import sys

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_executable import IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, tsaware_failures  # noqa: E402

program = pefile.PE(sys.argv[1])
if tsaware_failures(program):
    sys.exit(f'{sys.argv[1]}: the program itself is not Terminal-Server aware')
program.OPTIONAL_HEADER.DllCharacteristics &= ~IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE
cleared = pefile.PE(data=bytes(program.write()))
failures = tsaware_failures(cleared)
print('\n'.join(failures) or 'a program without the flag passed the check')
sys.exit(0 if failures else 1)

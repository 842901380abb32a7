#!/usr/bin/env python3
"""Checks a signed executable with osslsigncode against a certificate authority: two
signatures that verify, the first SHA-1 and the nested one SHA-256, each described with
the product name. With --flip-byte OFFSET, checks instead that a copy with that one byte
changed no longer verifies; with --unsigned FILE, that removing the signatures gives FILE
back byte for byte (so anyone can check a signed binary against the source).

usage: check_signature.py EXE CA_PEM PRODUCT_NAME_HEADER [--flip-byte OFFSET | --unsigned FILE]"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile


def verify(exe, ca):
    result = subprocess.run(['osslsigncode', 'verify', '-CAfile', ca, '-in', exe], capture_output=True)
    return result.returncode, result.stdout.decode('utf-8', 'replace') + result.stderr.decode('utf-8', 'replace')


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument('exe')
    arguments.add_argument('ca')
    arguments.add_argument('product_header')
    arguments.add_argument('--flip-byte', type=int)
    arguments.add_argument('--unsigned')
    options = arguments.parse_args()

    if options.unsigned:
        with tempfile.TemporaryDirectory() as folder:
            stripped = os.path.join(folder, 'stripped.exe')
            subprocess.run(['osslsigncode', 'remove-signature', '-in', options.exe, '-out', stripped], check=True,
                           capture_output=True)
            same = open(stripped, 'rb').read() == open(options.unsigned, 'rb').read()
        print(f'{options.exe} without its signatures is {"" if same else "NOT "}{options.unsigned}')
        return 0 if same else 1

    if options.flip_byte is not None:
        with tempfile.TemporaryDirectory() as folder:
            copy = os.path.join(folder, 'changed.exe')
            shutil.copyfile(options.exe, copy)
            with open(copy, 'r+b') as file:
                file.seek(options.flip_byte)
                byte = file.read(1)[0]
                file.seek(options.flip_byte)
                file.write(bytes([byte ^ 0xFF]))
            code, output = verify(copy, options.ca)
        if code == 0:
            print(f'{options.exe} with byte {options.flip_byte} changed still verifies')
            return 1
        print(f'{options.exe} with byte {options.flip_byte} changed fails verification, as it must')
        return 0

    product = re.search(r'#define PRODUCT_NAME "(.*)"', open(options.product_header, encoding='utf-8').read()).group(1)
    code, output = verify(options.exe, options.ca)
    failures = []
    if code != 0:
        failures.append(f'verification failed (exit {code})')
    if 'Number of verified signatures: 2' not in output:
        failures.append('not two verified signatures')
    digests = re.findall(r'^Message digest algorithm  : (\S+)', output, re.MULTILINE)
    if digests != ['SHA1', 'SHA256']:
        failures.append(f'digest algorithms {digests}, expected SHA1 then the nested SHA256')
    descriptions = re.findall(r'Text description: (.*)', output)
    if descriptions != [product, product]:
        failures.append(f'descriptions {descriptions}, expected the product name twice')
    for failure in failures:
        print(f'{options.exe}: {failure}')
    if failures:
        print(output)
        return 1
    print(f'{options.exe}: SHA-1 and nested SHA-256 signatures verify, described as {product}')
    return 0


if __name__ == '__main__':
    sys.exit(main())

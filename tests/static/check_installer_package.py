#!/usr/bin/env python3
"""Reads the built Windows Installer package's tables with msitools' msiinfo: schema 200
for Intel, one per-machine component, no Modify or Repair, the product code its version
gives, the major upgrade, and the custom actions (the DLL given, in the Binary table): the
install and the uninstall deferred without impersonation, the rollback a rollback action
just before the install, the uninstall only on removal (not an upgrade), the restart
request immediate after InstallFinalize.

usage: check_installer_package.py MSI --version VERSION --actions DLL"""
import argparse
import subprocess
import sys
import uuid

# "Custom Action Types" and "Custom Action In-Script Execution Options": a DLL in the Binary
# table 1, continue 0x40, rollback 0x100, in-script 0x400, no impersonation 0x800.
TYPES = {'InstallDriver': 3073, 'UninstallDriver': 3073, 'RollbackDriver': 3329, 'RequestRestart': 65}
DATA = {'SetInstallDriverData': ('InstallDriver', '[OriginalDatabase]|[PREINSTALL_ARGS]'),
        'SetRollbackDriverData': ('RollbackDriver', '[OriginalDatabase]'),
        'SetUninstallDriverData': ('UninstallDriver', '[WindowsFolder]')}
ORDER = ['InstallValidate', 'RemoveExistingProducts', 'InstallInitialize', 'SetUninstallDriverData',
         'UninstallDriver', 'PublishProduct', 'SetRollbackDriverData', 'RollbackDriver', 'SetInstallDriverData',
         'InstallDriver', 'InstallFinalize', 'RequestRestart']
REMOVAL = 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE'
CONDITIONS = {'SetUninstallDriverData': REMOVAL, 'UninstallDriver': REMOVAL,
              **{action: 'NOT Installed' for action in ('SetRollbackDriverData', 'RollbackDriver',
                                                         'SetInstallDriverData', 'InstallDriver', 'RequestRestart')}}


def msiinfo(*arguments):
    return subprocess.run(['msiinfo', *arguments], capture_output=True, check=True).stdout


def table(msi, name):
    """The rows of a table as dicts by column name (msiinfo's idt export)."""
    lines = msiinfo('export', msi, name).decode('utf-8').splitlines()
    return [dict(zip(lines[0].split('\t'), line.split('\t'))) for line in lines[3:]]


def failures_of(msi, version, actions_dll):
    failures = []
    properties = {row['Property']: row['Value'] for row in table(msi, 'Property')}
    for name, value in {'ALLUSERS': '1', 'ARPNOMODIFY': '1', 'ARPNOREPAIR': '1', 'ProductVersion': version}.items():
        if properties.get(name) != value:
            failures.append(f'property {name} is {properties.get(name)!r}, expected {value!r}')
    if 'PREINSTALL_ARGS' not in properties.get('SecureCustomProperties', '').split(';'):
        failures.append('PREINSTALL_ARGS is not a secure property')
    upgrade_code = properties.get('UpgradeCode', '')
    derived = '{' + str(uuid.uuid5(uuid.UUID(upgrade_code), f'ProductCode {version}')).upper() + '}'
    if properties.get('ProductCode') != derived:
        failures.append(f'product code {properties.get("ProductCode")}, expected {derived} from the version')
    upgrades = [(r['UpgradeCode'], r['VersionMin'], r['VersionMax'], r['Attributes']) for r in table(msi, 'Upgrade')]
    if (upgrade_code, '', version, '1') not in upgrades:
        failures.append(f'no major upgrade of the versions before {version}: {upgrades}')
    components = [int(row['Attributes']) for row in table(msi, 'Component')]
    if components != [4]:  # a registry key path; 32-bit
        failures.append(f'expected one 32-bit component with a registry key path, found attributes {components}')
    summary = dict(line.split(': ', 1) for line in msiinfo('suminfo', msi).decode('utf-8').splitlines())
    if (summary.get('Version'), summary.get('Template')) != ('200 (c8)', 'Intel;2052'):
        failures.append(f'schema {summary.get("Version")}, template {summary.get("Template")}')

    actions = {row['Action']: row for row in table(msi, 'CustomAction')}
    for action, wanted in TYPES.items():
        row = actions.get(action, {})
        if (row.get('Type'), row.get('Source'), row.get('Target')) != (str(wanted), 'InstallerActions', action):
            failures.append(f'{action} is {row}, expected type {wanted} calling InstallerActions!{action}')
    for action, (deferred, value) in DATA.items():
        row = actions.get(action, {})
        if (row.get('Type'), row.get('Source'), row.get('Target')) != ('51', deferred, value):
            failures.append(f'{action} does not set the data of {deferred} to {value}: {row}')
    if msiinfo('extract', msi, 'Binary.InstallerActions') != open(actions_dll, 'rb').read():
        failures.append(f'the Binary table\'s InstallerActions is not {actions_dll}')

    sequence = {row['Action']: row for row in table(msi, 'InstallExecuteSequence')}
    at = [int(sequence[action]['Sequence']) if action in sequence else -1 for action in ORDER]
    if at != sorted(at) or -1 in at:
        failures.append(f'InstallExecuteSequence is not in the order {ORDER}: {at}')
    for action, wanted in CONDITIONS.items():
        if sequence.get(action, {}).get('Condition') != wanted:
            failures.append(f'{action} runs when {sequence.get(action, {}).get("Condition")!r}, not {wanted!r}')
    return failures


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument('msi')
    arguments.add_argument('--version', required=True)
    arguments.add_argument('--actions', required=True)
    options = arguments.parse_args()
    failures = failures_of(options.msi, options.version, options.actions)
    print('\n'.join(f'{options.msi}: {failure}' for failure in failures) or f'{options.msi}: tables as expected')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

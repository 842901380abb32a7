#!/usr/bin/env python3
"""Reads the built Windows Installer package's tables with msitools' msiinfo and checks
what Windows Installer will do with it: schema 200 (Windows Installer 2.0) for Intel, a
per-machine product of one component, its Programs and Features entry without Modify and
Repair, the product code that its version gives, the major upgrade by the fixed upgrade
code, and the custom actions: the install and the uninstall deferred without impersonation,
the rollback a rollback action before the install, the uninstall only when the product is
removed but not upgraded, the restart request an immediate action after InstallFinalize,
all in the DLL given, stored in the Binary table.

usage: check_installer_package.py MSI --version VERSION --actions DLL"""
import argparse
import subprocess
import sys
import uuid

# Custom action type bits ("Custom Action Types", "Custom Action In-Script Execution Options").
DLL, CONTINUE, ROLLBACK, IN_SCRIPT, NO_IMPERSONATE = 0x1, 0x40, 0x100, 0x400, 0x800
EXPECTED_TYPES = {
    'InstallDriver': DLL | IN_SCRIPT | NO_IMPERSONATE,  # 3073
    'UninstallDriver': DLL | IN_SCRIPT | NO_IMPERSONATE,
    'RollbackDriver': DLL | IN_SCRIPT | ROLLBACK | NO_IMPERSONATE,  # 3329
    'RequestRestart': DLL | CONTINUE,  # immediate: only it may call MsiSetMode
}
COMPONENT_64BIT, COMPONENT_REGISTRY_KEY_PATH = 0x100, 0x4


def msiinfo(*arguments):
    return subprocess.run(['msiinfo', *arguments], capture_output=True, check=True).stdout


def table(msi, name):
    """The rows of a table, each a dict by column name (msiinfo's idt export)."""
    lines = msiinfo('export', msi, name).decode('utf-8').splitlines()
    columns = lines[0].split('\t')
    return [dict(zip(columns, line.split('\t'))) for line in lines[3:]]


def summary(msi):
    fields = {}
    for line in msiinfo('suminfo', msi).decode('utf-8').splitlines():
        name, _, value = line.partition(': ')
        fields[name] = value
    return fields


def sequence_failures(msi):
    rows = {row['Action']: row for row in table(msi, 'InstallExecuteSequence')}
    at = {action: int(row['Sequence']) for action, row in rows.items()}
    failures = []
    order = [('InstallValidate', 'RemoveExistingProducts'), ('RemoveExistingProducts', 'InstallInitialize'),
             ('InstallInitialize', 'SetUninstallDriverData'), ('SetUninstallDriverData', 'UninstallDriver'),
             ('PublishProduct', 'SetRollbackDriverData'), ('SetRollbackDriverData', 'RollbackDriver'),
             ('RollbackDriver', 'SetInstallDriverData'), ('SetInstallDriverData', 'InstallDriver'),
             ('InstallDriver', 'InstallFinalize'), ('InstallFinalize', 'RequestRestart')]
    for first, then in order:
        if first not in at or then not in at:
            failures.append(f'InstallExecuteSequence lacks {first if first not in at else then}')
        elif at[first] >= at[then]:
            failures.append(f'{then} ({at[then]}) does not come after {first} ({at[first]})')
    for action in ('SetUninstallDriverData', 'UninstallDriver'):
        condition = rows.get(action, {}).get('Condition', '')
        if condition != 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE':
            failures.append(f'{action} runs when {condition!r}, not only when the product is removed')
    for action in ('SetRollbackDriverData', 'RollbackDriver', 'SetInstallDriverData', 'InstallDriver',
                   'RequestRestart'):
        if rows.get(action, {}).get('Condition') != 'NOT Installed':
            failures.append(f'{action} does not run on the first installation only')
    return failures


def custom_action_failures(msi, actions_dll):
    rows = {row['Action']: row for row in table(msi, 'CustomAction')}
    failures = []
    for action, wanted in EXPECTED_TYPES.items():
        row = rows.get(action)
        if row is None:
            failures.append(f'no custom action {action}')
            continue
        if int(row['Type']) != wanted:
            failures.append(f'{action} has type {row["Type"]}, expected {wanted}')
        if (row['Source'], row['Target']) != ('InstallerActions', action):
            failures.append(f'{action} calls {row["Source"]}!{row["Target"]}')
    data = {'SetInstallDriverData': ('InstallDriver', '[OriginalDatabase]|[PREINSTALL_ARGS]'),
            'SetRollbackDriverData': ('RollbackDriver', '[OriginalDatabase]'),
            'SetUninstallDriverData': ('UninstallDriver', '[WindowsFolder]')}
    for action, (deferred, value) in data.items():
        row = rows.get(action, {})
        if (row.get('Type'), row.get('Source'), row.get('Target')) != ('51', deferred, value):
            failures.append(f'{action} does not set {deferred}\'s data to {value}: {row}')
    if msiinfo('extract', msi, 'Binary.InstallerActions') != open(actions_dll, 'rb').read():
        failures.append(f'the Binary table\'s InstallerActions is not {actions_dll}')
    return failures


def product_failures(msi, version):
    properties = {row['Property']: row['Value'] for row in table(msi, 'Property')}
    failures = []
    wanted = {'ALLUSERS': '1', 'ARPNOMODIFY': '1', 'ARPNOREPAIR': '1', 'ProductVersion': version}
    failures += [f'property {name} is {properties.get(name)!r}, expected {value!r}'
                 for name, value in wanted.items() if properties.get(name) != value]
    if 'PREINSTALL_ARGS' not in properties.get('SecureCustomProperties', '').split(';'):
        failures.append('PREINSTALL_ARGS is not a secure property')
    upgrade_code = properties.get('UpgradeCode', '')
    derived = '{' + str(uuid.uuid5(uuid.UUID(upgrade_code), f'ProductCode {version}')).upper() + '}'
    if properties.get('ProductCode') != derived:
        failures.append(f'product code {properties.get("ProductCode")}, expected {derived} (from the version)')
    upgrades = {(row['UpgradeCode'], row['VersionMin'], row['VersionMax'], row['Attributes'], row['ActionProperty'])
                for row in table(msi, 'Upgrade')}
    if (upgrade_code, '', version, '1', 'WIX_UPGRADE_DETECTED') not in upgrades:
        failures.append(f'no major upgrade of versions before {version}: {upgrades}')
    components = table(msi, 'Component')
    if len(components) != 1 or int(components[0]['Attributes']) != COMPONENT_REGISTRY_KEY_PATH:
        failures.append(f'expected one 32-bit component with a registry key path: {components}')
    info = summary(msi)
    if info.get('Version') != '200 (c8)' or info.get('Template') != 'Intel;2052':
        failures.append(f'schema {info.get("Version")}, template {info.get("Template")}: expected 200, Intel')
    return failures


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument('msi')
    arguments.add_argument('--version', required=True)
    arguments.add_argument('--actions', required=True)
    options = arguments.parse_args()
    failures = (product_failures(options.msi, options.version) + sequence_failures(options.msi) +
                custom_action_failures(options.msi, options.actions))
    for failure in failures:
        print(f'{options.msi}: {failure}')
    if not failures:
        print(f'{options.msi}: tables as expected')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

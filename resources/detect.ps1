# Detection script for deployment tools (Intune: "Use a custom detection script"): the
# IC card reader/writer driver is installed while the program's detection marker says so
# and the driver store's copy it names is still in the Windows directory's inf folder. A
# driver removed behind the program's back reads as absent, and is installed again.
# Installed: exit code 0 and a line on standard output. Not installed: exit code 0 and no
# output. The marker is in the 32-bit registry view, read here whichever way this runs.
$view = [Microsoft.Win32.RegistryView]::Registry32
$hklm = [Microsoft.Win32.RegistryKey]::OpenBaseKey([Microsoft.Win32.RegistryHive]::LocalMachine, $view)
$marker = $hklm.OpenSubKey('SOFTWARE\IcCardReaderUsbPreInstall')
if ($marker -and $marker.GetValue('Installed') -eq 1) {
    $copy = $marker.GetValue('DriverStoreInf')
    if ($copy -and (Test-Path -LiteralPath (Join-Path $env:WINDIR "inf\$copy"))) {
        Write-Output "installed: $copy, driver $($marker.GetValue('DriverVersion'))"
    }
}
exit 0

# Builds the Windows Installer package (resources/preinstall.wxs) reproducibly with wixl:
#   cmake -DWIXL=... -DMSIBUILD=... -DFAKETIME=... -DSOURCE_DIR=... -DACTIONS=<DLL> -DVERSION=...
#         -DOUTPUT=<msi> -P BuildInstallerPackage.cmake
# The product code follows from the version, the package code from what the package is built
# from, and the summary information's dates from SOURCE_DATE_EPOCH (else the last commit's
# time): wixl takes none of them from its input, so the dates come from building under
# faketime and the rest is set afterwards with msibuild, as is the rollback action's type.
set(wxs ${SOURCE_DIR}/resources/preinstall.wxs)
file(STRINGS ${wxs} upgrade_line REGEX "UpgradeCode=\"{[-0-9A-F]+}\"")
string(REGEX REPLACE ".*UpgradeCode=\"{([-0-9A-F]+)}\".*" "\\1" upgrade_code "${upgrade_line}")

string(UUID product_code NAMESPACE ${upgrade_code} NAME "ProductCode ${VERSION}" TYPE SHA1 UPPER)
file(SHA256 ${wxs} wxs_hash)
file(SHA256 ${ACTIONS} actions_hash)
string(UUID package_code NAMESPACE ${upgrade_code} NAME "Package ${VERSION} ${wxs_hash} ${actions_hash}" TYPE SHA1
       UPPER)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${SOURCE_DIR} log -1 --format=%ct OUTPUT_VARIABLE epoch
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT epoch)
    set(epoch 946684800)
  endif()
endif()
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
string(TIMESTAMP stamp "%Y-%m-%d %H:%M:%S" UTC)
# A date without "@" stops faketime's clock there: every time the tools read is the same.
set(frozen ${CMAKE_COMMAND} -E env TZ=UTC ${FAKETIME} ${stamp})

file(REMOVE ${OUTPUT})
# wixl finds the Binary table's file in its working directory.
get_filename_component(actions_dir ${ACTIONS} DIRECTORY)
execute_process(COMMAND ${frozen} ${WIXL} -a x86 -D ProductCode={${product_code}} -D Version=${VERSION} -o ${OUTPUT}
                        ${wxs} WORKING_DIRECTORY ${actions_dir} COMMAND_ERROR_IS_FATAL ANY)
# msidbCustomActionTypeDll 1 + InScript 0x400 + Rollback 0x100 + NoImpersonate 0x800.
execute_process(COMMAND ${frozen} ${MSIBUILD} ${OUTPUT} -q
                        "UPDATE `CustomAction` SET `Type` = 3329 WHERE `Action` = 'RollbackDriver'"
                COMMAND_ERROR_IS_FATAL ANY)
# The older product goes before this one installs, right after InstallValidate.
execute_process(COMMAND ${frozen} ${MSIBUILD} ${OUTPUT} -q
                        "UPDATE `InstallExecuteSequence` SET `Sequence` = 1401 WHERE `Action` = 'RemoveExistingProducts'"
                COMMAND_ERROR_IS_FATAL ANY)
# The administrator's switches reach the server side of a managed installation.
execute_process(COMMAND ${frozen} ${MSIBUILD} ${OUTPUT} -q
                        "UPDATE `Property` SET `Value` = 'PREINSTALL_ARGS;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE `Property` = 'SecureCustomProperties'"
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${frozen} ${MSIBUILD} ${OUTPUT} -s "IC Card Reader USB Driver Pre-install" IcCardReaderUsbPreInstall
                        "Intel;2052" {${package_code}} COMMAND_ERROR_IS_FATAL ANY)

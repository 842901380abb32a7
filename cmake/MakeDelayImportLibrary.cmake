# Makes a delay-import library for one Windows DLL from the toolchain's own import library:
# every function that library offers, loaded on its first call instead of at start-up.
#   cmake -DNM=... -DDLLTOOL=... -DIMPORT_LIBRARY=.../libuser32.a -DDLL=USER32.dll
#         -DOUTPUT=.../libuser32_delayed.a -P MakeDelayImportLibrary.cmake
execute_process(COMMAND ${NM} ${IMPORT_LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed ERROR_QUIET)
if(failed)
  message(FATAL_ERROR "${NM} could not read ${IMPORT_LIBRARY}")
endif()
# One "I __imp_NAME" line per function: "__imp__NAME@N" on i686 (stdcall), "__imp_NAME" on x86_64.
string(REGEX MATCHALL " I __imp_[^\n]+" imports "${symbols}")
if(NOT imports)
  message(FATAL_ERROR "no functions found in ${IMPORT_LIBRARY}")
endif()
set(definitions "LIBRARY ${DLL}\nEXPORTS\n")
foreach(import IN LISTS imports)
  string(REGEX REPLACE "^ I __imp_" "" name "${import}")
  if(I686)
    string(REGEX REPLACE "^_" "" name "${name}")
  endif()
  string(APPEND definitions "  ${name}\n")
endforeach()
set(definition_file ${OUTPUT}.def)
file(WRITE ${definition_file} "${definitions}")
set(options)
if(I686)
  set(options --kill-at) # the DLL exports the stdcall names without their "@N"
endif()
# Run where the library goes, named without a folder: dlltool names its symbols after the
# output path, and the build folder must not reach the executable.
get_filename_component(folder ${OUTPUT} DIRECTORY)
get_filename_component(library ${OUTPUT} NAME)
execute_process(COMMAND ${DLLTOOL} --input-def ${definition_file} --dllname ${DLL} --output-delaylib ${library}
                        ${options} WORKING_DIRECTORY ${folder} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${DLLTOOL} could not make ${OUTPUT}")
endif()

# cmake -DPROGRAM=mbus-host -DPLUGIN=library [-DEMULATOR=..] -P CheckInfoOutput.cmake
# Runs "mbus-host info" on the generic module (named and by default) and
# checks what it prints.
foreach(_args "info;${PLUGIN}" "info")
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${_args} OUTPUT_VARIABLE _out
                  ERROR_VARIABLE _err RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "mbus-host ${_args} failed (${_rc}):\n${_out}\n${_err}")
  endif()
  get_filename_component(_name ${PLUGIN} NAME)
  set(_expected
      "Description: \r?\n"
      "Module type: 0 \\{\\}"
      "Capabilities: 0 \\{\\}"
      "Interface version: 4\r?\n"
      "Version number: 4\r?\n"
      "Info flag: 1\r?\n"
      "Commands:\r?\n  \\(none\\)"
      "Module parameters:"
      "  ModuleName = ${_name}\r?\n"
      "  ModuleLoadCount = 1\r?\n"
      "  ModuleIndex = 1\r?\n"
      "  ModuleRegistryPath = Software.mbus-host.Plugins.mbusplugin\r?\n"
      "  DisplayFullVersion = [0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+\r?\n"
      "  IsTemporaryLoad = (False|0|false)\r?\n"
      "Parser items:\r?\n  \\(none\\)"
      "Log:")
  foreach(_pattern IN LISTS _expected)
    if(NOT _out MATCHES "${_pattern}")
      message(FATAL_ERROR "mbus-host ${_args}: no match for \"${_pattern}\" in:\n${_out}")
    endif()
  endforeach()
endforeach()
message(STATUS "mbus-host info prints the generic module")

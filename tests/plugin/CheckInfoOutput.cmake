# cmake -DPROGRAM=mbus-host -DPLUGIN=library [-DEMULATOR=..] -P CheckInfoOutput.cmake
# Runs "mbus-host info" on the M-Bus plug-in (named and by default) and
# checks what it prints: the M-Bus module's identity and parser items.
foreach(_args "info;${PLUGIN}" "info")
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${_args} OUTPUT_VARIABLE _out
                  ERROR_VARIABLE _err RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "mbus-host ${_args} failed (${_rc}):\n${_out}\n${_err}")
  endif()
  get_filename_component(_name ${PLUGIN} NAME)
  set(_expected
      "Description: M-Bus\r?\n"
      "Module type: 3 \\{0,1\\}"
      "Capabilities: 0 \\{\\}"
      "Interface version: 4\r?\n"
      "Version number: 5\r?\n"
      "Info flag: 1\r?\n"
      "Commands:\r?\n  \\(none\\)"
      "Module parameters:"
      "  LogTitle = M-Bus\r?\n"
      "  EventsSupported = PORT-OPEN\r?\n"
      "  ModuleName = ${_name}\r?\n"
      "  ModuleLoadCount = 1\r?\n"
      "  ModuleIndex = 1\r?\n"
      "  ModuleRegistryPath = Software.mbus-host.Plugins.mbusplugin\r?\n"
      "  DisplayFullVersion = [0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+\r?\n"
      "  IsTemporaryLoad = (False|0|false)\r?\n"
      "Parser items:\r?\n  Full data packet\\|FULL_DATA_PACKET\\|String\\|"
      "  Device address\\|DEVICE_ID\\|String\\|\r?\n"
      "  Storage number\\|STORAGE\\|Integer\\|\r?\n"
      "  Tariff\\|TARIFF\\|Integer\\|\r?\n"
      "  Timestamp\\|TIME_POINT\\|DateTime\\|\r?\n"
      "Log:")
  foreach(_pattern IN LISTS _expected)
    if(NOT _out MATCHES "${_pattern}")
      message(FATAL_ERROR "mbus-host ${_args}: no match for \"${_pattern}\" in:\n${_out}")
    endif()
  endforeach()
endforeach()
message(STATUS "mbus-host info prints the M-Bus module")

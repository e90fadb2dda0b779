# cmake -DOBJDUMP=.. "-DLIBRARIES=a.dll;b.dll" -P CheckImports.cmake
# Reads the import table of each DLL and fails when one needs a DLL that a
# Windows installation does not have: a compiler runtime (libstdc++-6.dll,
# libgcc_s_dw2-1.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll) or anything
# else outside the system's own libraries below.
set(_system
    advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll iphlpapi.dll
    kernel32.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll rpcrt4.dll secur32.dll
    shell32.dll shlwapi.dll user32.dll userenv.dll version.dll winmm.dll ws2_32.dll)
set(_errors "")
foreach(_library IN LISTS LIBRARIES)
  execute_process(COMMAND ${OBJDUMP} -p ${_library} OUTPUT_VARIABLE _dump RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${_library} failed (${_rc})")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" _lines "${_dump}")
  if(NOT _lines)
    string(APPEND _errors "  ${_library}: no import table read\n")
  endif()
  set(_names "")
  foreach(_line IN LISTS _lines)
    string(REGEX REPLACE "^DLL Name: *" "" _name "${_line}")
    string(STRIP "${_name}" _name)
    string(TOLOWER "${_name}" _lower)
    list(APPEND _names ${_name})
    list(FIND _system "${_lower}" _known)
    if(_known LESS 0)
      string(APPEND _errors "  ${_library} imports ${_name}\n")
    endif()
  endforeach()
  message(STATUS "${_library} imports: ${_names}")
endforeach()
if(_errors)
  message(FATAL_ERROR "DLLs a Windows installation does not have:\n${_errors}")
endif()

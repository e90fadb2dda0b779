# cmake <the release arguments> -DOUT_DIR=.. -DOBJDUMP=.. -DMAKE_SCRIPT=.. -P CheckRelease.cmake
# Makes the release archive into OUT_DIR with the release target's own
# script and checks it as a user receives it: exactly the two libraries,
# INSTALL.txt and SHA256SUMS.txt in a folder NAME; the libraries byte for
# byte the ones in the build's bin/ (which the tests load), stripped, naming
# their debug files, with version resources; every checksum right; the debug
# files beside the archive holding the debug information.
include(${MAKE_SCRIPT})

set(_errors "")
macro(fail text)
  string(APPEND _errors "  ${text}\n")
endmacro()

set(_extract ${OUT_DIR}/extracted)
file(REMOVE_RECURSE ${_extract})
file(MAKE_DIRECTORY ${_extract})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${OUT_DIR}/${NAME}.zip
                WORKING_DIRECTORY ${_extract} RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "${NAME}.zip cannot be extracted (${_rc})")
endif()
file(GLOB_RECURSE _found RELATIVE ${_extract} ${_extract}/*)
list(SORT _found)
set(_expected ${NAME}/INSTALL.txt ${NAME}/SHA256SUMS.txt ${NAME}/libmbus.dll
              ${NAME}/mbusplugin.dll)
list(SORT _expected)
if(NOT _found STREQUAL _expected)
  fail("archive holds [${_found}], expected [${_expected}]")
endif()

# sums-file folder: every line's checksum is that of its file, and the files
# listed are exactly `names`.
function(check_sums file folder names)
  file(STRINGS ${file} _lines)
  set(_listed "")
  foreach(_line IN LISTS _lines)
    if(NOT _line MATCHES "^([0-9a-f]+)  (.+)$")
      set(_errors "${_errors}  ${file}: bad line '${_line}'\n" PARENT_SCOPE)
      continue()
    endif()
    set(_hash ${CMAKE_MATCH_1})
    set(_name ${CMAKE_MATCH_2})
    list(APPEND _listed ${_name})
    file(SHA256 ${folder}/${_name} _actual)
    if(NOT _hash STREQUAL _actual)
      set(_errors "${_errors}  ${file}: checksum of ${_name} wrong\n" PARENT_SCOPE)
    endif()
  endforeach()
  list(SORT _listed)
  set(_names ${names})
  list(SORT _names)
  if(NOT _listed STREQUAL _names)
    set(_errors "${_errors}  ${file} lists [${_listed}], expected [${_names}]\n" PARENT_SCOPE)
  endif()
endfunction()

set(_inner ${_extract}/${NAME})
check_sums(${_inner}/SHA256SUMS.txt ${_inner} "INSTALL.txt;libmbus.dll;mbusplugin.dll")
check_sums(${OUT_DIR}/SHA256SUMS.txt ${OUT_DIR}
           "${NAME}.zip;libmbus.dll.debug;mbusplugin.dll.debug")

foreach(_library IN LISTS LIBRARIES)
  get_filename_component(_name ${_library} NAME)
  file(SHA256 ${_library} _built)
  file(SHA256 ${_inner}/${_name} _shipped)
  if(NOT _built STREQUAL _shipped)
    fail("${_name} in the archive differs from ${_library}")
  endif()
  execute_process(COMMAND ${OBJDUMP} -h ${_inner}/${_name} OUTPUT_VARIABLE _sections)
  if(_sections MATCHES "\\.debug_")
    fail("${_name} carries debug sections")
  endif()
  if(NOT _sections MATCHES "\\.gnu_debuglink")
    fail("${_name} does not name its debug file")
  endif()
  if(NOT _sections MATCHES "\\.rsrc")
    fail("${_name} has no resources")
  endif()
  file(STRINGS ${_inner}/${_name} _texts ENCODING UTF-16LE REGEX "^(VS_VERSION_INFO|[0-9.]+)$")
  list(FIND _texts VS_VERSION_INFO _info)
  list(FIND _texts "${VERSION}.0" _version)
  if(_info LESS 0 OR _version LESS 0)
    fail("${_name} has no version resource of ${VERSION}.0")
  endif()
  execute_process(COMMAND ${OBJDUMP} -h ${OUT_DIR}/${_name}.debug OUTPUT_VARIABLE _sections)
  if(NOT _sections MATCHES "\\.debug_info")
    fail("${_name}.debug holds no debug information")
  endif()
endforeach()

file(READ ${_inner}/INSTALL.txt _install)
foreach(_word mbusplugin.dll libmbus.dll "${VERSION}")
  string(FIND "${_install}" "${_word}" _at)
  if(_at LESS 0)
    fail("INSTALL.txt lacks '${_word}'")
  endif()
endforeach()
# Windows line ends, for the editors of the users who read it (read as hex:
# file(READ) drops carriage returns; the text is ASCII, so a pair never
# matches across two bytes).
file(READ ${_inner}/INSTALL.txt _hex HEX)
string(REGEX MATCHALL "0d0a" _crlf "${_hex}")
string(REGEX MATCHALL "0a" _lf "${_hex}")
list(LENGTH _crlf _crlf)
list(LENGTH _lf _lf)
if(_crlf EQUAL 0 OR NOT _crlf EQUAL _lf)
  fail("INSTALL.txt: ${_crlf} of ${_lf} line ends are CR LF")
endif()

if(_errors)
  message(FATAL_ERROR "release archive ${NAME}.zip:\n${_errors}")
endif()
message(STATUS "${NAME}.zip: contents and checksums as released")

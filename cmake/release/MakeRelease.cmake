# cmake -DOUT_DIR=.. -DNAME=.. -DVERSION=.. -DPLATFORM=.. "-DLIBRARIES=a.dll;b.dll"
#       -DINSTALL_TEXT=INSTALL.txt.in -P MakeRelease.cmake
# The release archive OUT_DIR/NAME.zip: a folder NAME holding the libraries
# (as built: stripped), INSTALL.txt and SHA256SUMS.txt. Beside the archive:
# each library's debug information (LIBRARY.debug, from the build) and
# SHA256SUMS.txt of the archive and the debug files.
foreach(_var OUT_DIR NAME VERSION PLATFORM LIBRARIES INSTALL_TEXT)
  if(NOT DEFINED ${_var})
    message(FATAL_ERROR "MakeRelease.cmake: ${_var} not given")
  endif()
endforeach()

set(_stage ${OUT_DIR}/${NAME})
file(REMOVE_RECURSE ${_stage} ${OUT_DIR}/${NAME}.zip)
file(MAKE_DIRECTORY ${_stage})

set(_sums "")
set(_outer "")
foreach(_library IN LISTS LIBRARIES)
  get_filename_component(_name ${_library} NAME)
  if(NOT EXISTS ${_library}.debug)
    message(FATAL_ERROR "${_library}: no debug file ${_library}.debug beside it")
  endif()
  file(COPY ${_library} DESTINATION ${_stage})
  file(COPY ${_library}.debug DESTINATION ${OUT_DIR})
  file(SHA256 ${_library} _hash)
  string(APPEND _sums "${_hash}  ${_name}\n")
  file(SHA256 ${_library}.debug _hash)
  string(APPEND _outer "${_hash}  ${_name}.debug\n")
endforeach()
configure_file(${INSTALL_TEXT} ${_stage}/INSTALL.txt @ONLY NEWLINE_STYLE CRLF)
file(SHA256 ${_stage}/INSTALL.txt _hash)
string(APPEND _sums "${_hash}  INSTALL.txt\n")
file(WRITE ${_stage}/SHA256SUMS.txt "${_sums}")

# Fixed time stamps, so the same files give the same archive.
file(GLOB _members RELATIVE ${OUT_DIR} ${_stage}/*)
list(SORT _members)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${NAME}.zip --format=zip
                        "--mtime=2000-01-01 00:00:00 UTC" ${_members}
                WORKING_DIRECTORY ${OUT_DIR} RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "making ${NAME}.zip failed (${_rc})")
endif()
file(SHA256 ${OUT_DIR}/${NAME}.zip _hash)
file(WRITE ${OUT_DIR}/SHA256SUMS.txt "${_hash}  ${NAME}.zip\n${_outer}")
message(STATUS "${OUT_DIR}/${NAME}.zip")

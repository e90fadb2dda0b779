# kor-formc as the build runs it: the stream and the embedding unit are
# written, a second run over the same form leaves both files untouched, a
# changed form rewrites them, and a broken form fails with file, line and
# column. -DCOMPILER=kor-formc -DFORM=a text form -DWORK=a scratch folder
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(_bin ${WORK}/F.bin)
set(_cpp ${WORK}/F.cpp)

function(run_compiler form expect_rc)
  execute_process(COMMAND ${COMPILER} ${form} -o ${_bin} --cpp ${_cpp} --name TFORM
                  RESULT_VARIABLE _rc ERROR_VARIABLE _err)
  if(NOT _rc EQUAL expect_rc)
    message(FATAL_ERROR "kor-formc ${form}: exit ${_rc}, expected ${expect_rc}: ${_err}")
  endif()
  set(LAST_ERROR "${_err}" PARENT_SCOPE)
endfunction()

run_compiler(${FORM} 0)
file(READ ${_bin} _first HEX)
file(READ ${_cpp} _unit)
string(FIND "${_unit}" "plat::RegisterDataResource(" _at)
if(_first STREQUAL "" OR _at EQUAL -1)
  message(FATAL_ERROR "no stream or no registration written")
endif()
file(TIMESTAMP ${_bin} _bin_time "%s")
file(TIMESTAMP ${_cpp} _cpp_time "%s")
# Make any rewrite visible in the seconds-resolution time stamp.
execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1.1)
run_compiler(${FORM} 0)
file(TIMESTAMP ${_bin} _bin_again "%s")
file(TIMESTAMP ${_cpp} _cpp_again "%s")
if(NOT _bin_time STREQUAL _bin_again OR NOT _cpp_time STREQUAL _cpp_again)
  message(FATAL_ERROR "an unchanged form rewrote its outputs")
endif()

file(WRITE ${WORK}/changed.form "object X: TX\n  Tag = 1\nend\n")
run_compiler(${WORK}/changed.form 0)
file(READ ${_bin} _second HEX)
if(_second STREQUAL _first)
  message(FATAL_ERROR "a changed form did not rewrite the stream")
endif()

file(WRITE ${WORK}/broken.form "object X: TX\n  Caption = 'open\nend\n")
run_compiler(${WORK}/broken.form 1)
string(FIND "${LAST_ERROR}" "broken.form:2:18: unterminated string" _at)
if(_at EQUAL -1)
  message(FATAL_ERROR "unexpected error text: ${LAST_ERROR}")
endif()
file(READ ${_bin} _third HEX)
if(NOT _third STREQUAL _second)
  message(FATAL_ERROR "a failed compile touched the stream")
endif()

# Form resources: text forms compiled at build time by kor-formc (tools/)
# into binary form streams and embedded in a library or program as raw-data
# resources: RCDATA through windres on Windows, a generated unit that
# registers the bytes with platform/Resources on posix.
#
# The compiler must run on the build machine. Native builds use the
# kor-formc target; cross builds build tools/ as a separate project with the
# build machine's compiler (KOR_HOST_CXX) into build/<preset>/host-tools.

if(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(KOR_HOST_CXX c++ CACHE STRING "C++ compiler of the build machine, for build-time tools")
  set(_host_dir ${CMAKE_BINARY_DIR}/host-tools)
  set(_host_args -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=${KOR_HOST_CXX})
  if(CCACHE_PROGRAM)
    list(APPEND _host_args -DCMAKE_CXX_COMPILER_LAUNCHER=${CCACHE_PROGRAM})
  endif()
  ExternalProject_Add(kor_host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/tools
    BINARY_DIR ${_host_dir}
    CMAKE_ARGS ${_host_args}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${_host_dir}/kor-formc)
  set(KOR_FORMC ${_host_dir}/kor-formc)
  set(KOR_FORMC_DEPENDS kor_host_tools ${_host_dir}/kor-formc)
else()
  set(KOR_FORMC $<TARGET_FILE:kor-formc>)
  set(KOR_FORMC_DEPENDS kor-formc)
endif()

# kor_form_resource(TARGET RESOURCE SOURCE): compiles the text form SOURCE
# into RESOURCE.bin beside TARGET's build files and embeds it in TARGET as
# the raw-data resource RESOURCE. The stream is rebuilt when SOURCE or the
# compiler changes, and rewritten only when its bytes change.
function(kor_form_resource target resource source)
  set(_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_forms)
  set(_bin ${_dir}/${resource}.bin)
  set(_stamp ${_dir}/${resource}.stamp)
  file(MAKE_DIRECTORY ${_dir})
  if(WIN32)
    set(_unit_args)
    set(_byproducts ${_bin})
  else()
    set(_unit ${_dir}/${resource}.cpp)
    set(_unit_args --cpp ${_unit} --name ${resource})
    set(_byproducts ${_bin} ${_unit})
  endif()
  add_custom_command(
    OUTPUT ${_stamp}
    BYPRODUCTS ${_byproducts}
    COMMAND ${KOR_FORMC} ${source} -o ${_bin} ${_unit_args}
    COMMAND ${CMAKE_COMMAND} -E touch ${_stamp}
    DEPENDS ${source} ${KOR_FORMC_DEPENDS}
    COMMENT "Compiling form ${resource}"
    VERBATIM)
  target_sources(${target} PRIVATE ${_stamp})
  if(WIN32)
    set(_rc ${_dir}/${resource}.rc)
    file(CONFIGURE OUTPUT ${_rc} CONTENT "${resource} RCDATA \"${_bin}\"\n")
    target_sources(${target} PRIVATE ${_rc})
    set_source_files_properties(${_rc} PROPERTIES OBJECT_DEPENDS ${_bin})
  else()
    target_sources(${target} PRIVATE ${_unit})
  endif()
endfunction()

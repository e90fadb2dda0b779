# Form resources: text forms compiled at build time by kor-formc (tools/)
# into binary form streams and embedded in a library or program as raw-data
# resources: RCDATA through windres on Windows, a generated unit that
# registers the bytes with platform/Resources on posix. The options dialog's
# script container (kor-scriptc, then kor-packc) and plain-text resources
# (kor-packc) are embedded the same way.
#
# The tools must run on the build machine. Native builds use their targets;
# cross builds build tools/ as a separate project with the build machine's
# compiler (KOR_HOST_CXX) into build/<preset>/host-tools.

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
    BUILD_BYPRODUCTS ${_host_dir}/kor-formc ${_host_dir}/kor-scriptc ${_host_dir}/kor-packc)
  set(KOR_FORMC ${_host_dir}/kor-formc)
  set(KOR_FORMC_DEPENDS kor_host_tools ${_host_dir}/kor-formc)
  set(KOR_SCRIPTC ${_host_dir}/kor-scriptc)
  set(KOR_SCRIPTC_DEPENDS kor_host_tools ${_host_dir}/kor-scriptc)
  set(KOR_PACKC ${_host_dir}/kor-packc)
  set(KOR_PACKC_DEPENDS kor_host_tools ${_host_dir}/kor-packc)
else()
  set(KOR_FORMC $<TARGET_FILE:kor-formc>)
  set(KOR_FORMC_DEPENDS kor-formc)
  set(KOR_SCRIPTC $<TARGET_FILE:kor-scriptc>)
  set(KOR_SCRIPTC_DEPENDS kor-scriptc)
  set(KOR_PACKC $<TARGET_FILE:kor-packc>)
  set(KOR_PACKC_DEPENDS kor-packc)
endif()

# Embeds the resource file BIN (made by the command that writes STAMP) in
# TARGET as the raw-data resource RESOURCE: through a one-line .rc on
# Windows, through the generated UNIT on posix.
function(_kor_embed_resource target resource bin stamp unit)
  target_sources(${target} PRIVATE ${stamp})
  if(WIN32)
    set(_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_forms/${resource}.rc)
    file(CONFIGURE OUTPUT ${_rc} CONTENT "${resource} RCDATA \"${bin}\"\n")
    target_sources(${target} PRIVATE ${_rc})
    set_source_files_properties(${_rc} PROPERTIES OBJECT_DEPENDS ${bin})
  else()
    target_sources(${target} PRIVATE ${unit})
  endif()
endfunction()

# Arguments that make a tool write the embedding unit on posix.
function(_kor_unit_args resource unit out_args out_byproducts bin)
  if(WIN32)
    set(${out_args} "" PARENT_SCOPE)
    set(${out_byproducts} ${bin} PARENT_SCOPE)
  else()
    set(${out_args} --cpp ${unit} --name ${resource} PARENT_SCOPE)
    set(${out_byproducts} ${bin} ${unit} PARENT_SCOPE)
  endif()
endfunction()

# kor_script_resource(TARGET RESOURCE MAIN FORM PROPERTIES): compiles the
# script unit MAIN and the units it uses (every .pas beside it) into a
# syntax tree, packs it with the form name FORM and the property lines of
# the file PROPERTIES into a gzip member RESOURCE.bin and embeds that in
# TARGET as the raw-data resource RESOURCE. Rebuilt when a source or a tool
# changes; outputs are rewritten only when their bytes change.
function(kor_script_resource target resource main form properties)
  set(_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_forms)
  set(_tree ${_dir}/${resource}.xml)
  set(_bin ${_dir}/${resource}.bin)
  set(_stamp ${_dir}/${resource}.stamp)
  set(_unit ${_dir}/${resource}.cpp)
  file(MAKE_DIRECTORY ${_dir})
  get_filename_component(_folder ${main} DIRECTORY)
  file(GLOB _units CONFIGURE_DEPENDS ${_folder}/*.pas)
  _kor_unit_args(${resource} ${_unit} _unit_args _byproducts ${_bin})
  add_custom_command(
    OUTPUT ${_stamp}
    BYPRODUCTS ${_tree} ${_byproducts}
    COMMAND ${KOR_SCRIPTC} ${main} -o ${_tree}
    COMMAND ${KOR_PACKC} --tree ${_tree} --form ${form} --properties ${properties} -o ${_bin}
            ${_unit_args}
    COMMAND ${CMAKE_COMMAND} -E touch ${_stamp}
    DEPENDS ${_units} ${properties} ${KOR_SCRIPTC_DEPENDS} ${KOR_PACKC_DEPENDS}
    COMMENT "Compiling script ${resource}"
    VERBATIM)
  _kor_embed_resource(${target} ${resource} ${_bin} ${_stamp} ${_unit})
endfunction()

# kor_text_resource(TARGET RESOURCE TEXT): the bytes of TEXT (no terminator)
# as the raw-data resource RESOURCE of TARGET.
function(kor_text_resource target resource text)
  set(_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_forms)
  set(_bin ${_dir}/${resource}.bin)
  set(_stamp ${_dir}/${resource}.stamp)
  set(_unit ${_dir}/${resource}.cpp)
  file(MAKE_DIRECTORY ${_dir})
  _kor_unit_args(${resource} ${_unit} _unit_args _byproducts ${_bin})
  add_custom_command(
    OUTPUT ${_stamp}
    BYPRODUCTS ${_byproducts}
    COMMAND ${KOR_PACKC} --text ${text} -o ${_bin} ${_unit_args}
    COMMAND ${CMAKE_COMMAND} -E touch ${_stamp}
    DEPENDS ${KOR_PACKC_DEPENDS}
    COMMENT "Packing text resource ${resource}"
    VERBATIM)
  _kor_embed_resource(${target} ${resource} ${_bin} ${_stamp} ${_unit})
endfunction()

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

# kor_dialog_resources(TARGET): the options dialog package's resources
# (dialog/, see docs/options-dialog.md) in TARGET: the three form streams,
# the script container FORM_DATA (the script units, the form name and the
# persisted-property lines) and FORM_NAME, the resource name of the main
# form. Call it in the folder that creates TARGET (custom commands feed only
# targets of their own folder).
function(kor_dialog_resources target)
  set(_src ${PROJECT_SOURCE_DIR}/dialog)
  kor_form_resource(${target} TFRMOPTION ${_src}/frmOption.form)
  kor_form_resource(${target} TFRMDEVICELIST ${_src}/frmDeviceList.form)
  kor_form_resource(${target} TFRMOPPROGRESS ${_src}/frmOpProgress.form)
  kor_script_resource(${target} FORM_DATA ${_src}/frmOption.pas TFRMOPTION ${_src}/frmOption.props)
  kor_text_resource(${target} FORM_NAME TFRMOPTION)
endfunction()

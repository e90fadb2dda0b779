# cmake -DNM=.. -DMODULES="a.dll;b.exe" -P CheckNoThreadExitHooks.cmake
# Fails when a Windows module of ours carries the C++ runtime's thread-exit
# destructor support (__cxa_thread_atexit). It is linked in by a
# thread_local with a destructor; with the statically linked runtime it pins
# the library after the host frees it and can hang the process's exit in the
# runtime's key lock (docs/framework-runtime.md). Per-thread state is kept in
# trivially destructible thread_locals instead.
set(_errors "")
foreach(_module IN LISTS MODULES)
  execute_process(COMMAND ${NM} ${_module} OUTPUT_VARIABLE _symbols RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "${NM} ${_module} failed (${_rc})")
  endif()
  if(_symbols MATCHES " T __cxa_thread_atexit")
    string(APPEND _errors "  ${_module}\n")
  endif()
endforeach()
if(_errors)
  message(FATAL_ERROR "thread-exit destructors (a thread_local with a destructor) in:\n${_errors}")
endif()

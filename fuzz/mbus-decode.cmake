# M-Bus module: reply decoding over arbitrary frame chains (also run once
# over the shared reference telegrams, which the target reads as hex text),
# and the last time points file's rules over arbitrary text.
kor_fuzz(FuzzMbusDecode SOURCES FuzzMbusDecode.cpp LIBS mbus_module mbus_core)
set(_mbus_shared ${PROJECT_SOURCE_DIR}/../shared/testdata/meter-frames)
if(EXISTS ${_mbus_shared}/reference)
  add_test(NAME FuzzMbusDecode.reference
           COMMAND $<TARGET_FILE:FuzzMbusDecode> -runs=20000 -max_total_time=20 -max_len=4096 -timeout=10
                   ${CMAKE_CURRENT_BINARY_DIR}/corpus/FuzzMbusDecode ${_mbus_shared}/reference)
  set_tests_properties(FuzzMbusDecode.reference PROPERTIES LABELS fuzz)
endif()
kor_fuzz(FuzzLastDate SOURCES FuzzLastDate.cpp LIBS mbus_module)

# libmbus protocol core: one target over every reader of untrusted bytes.
# Besides its own seeds it runs once over the shared reference telegrams
# (hex text, decoded by the target), new inputs going to its build corpus.
kor_fuzz(FuzzMbusParse SOURCES FuzzMbusParse.cpp LIBS mbus_core)
set(_mbus_shared ${PROJECT_SOURCE_DIR}/../shared/testdata/meter-frames)
if(EXISTS ${_mbus_shared}/reference)
  add_test(NAME FuzzMbusParse.reference
           COMMAND $<TARGET_FILE:FuzzMbusParse> -runs=20000 -max_total_time=20 -max_len=4096 -timeout=10
                   ${CMAKE_CURRENT_BINARY_DIR}/corpus/FuzzMbusParse ${_mbus_shared}/reference
                   ${_mbus_shared}/error ${_mbus_shared}/unsupported)
  set_tests_properties(FuzzMbusParse.reference PROPERTIES LABELS fuzz)
endif()

# Every document of the XML writers is well-formed XML, whatever the bytes.
kor_fuzz(FuzzMbusXml SOURCES FuzzMbusXml.cpp LIBS mbus_core)

# libmbus's receive path: the line's bytes are whatever the fuzzer makes.
kor_fuzz(FuzzLinkReceive SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzLinkReceive.cpp LIBS mbus_core)

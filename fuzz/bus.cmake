# The simulated segment's readers: telegram text and the master's bytes.
kor_fuzz(FuzzBusTelegrams SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzBusTelegrams.cpp LIBS mbus_bus)

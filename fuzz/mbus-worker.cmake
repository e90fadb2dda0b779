# The M-Bus worker's read path with arbitrary line bytes in arbitrary pieces;
# libmbus is loaded from the program's folder, as the plug-in loads it.
kor_fuzz(FuzzMbusWorker SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzMbusWorker.cpp
         LIBS mbus_module mbus_bus)
add_dependencies(FuzzMbusWorker libmbus)

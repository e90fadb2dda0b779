# The M-Bus worker's device search with arbitrary line bytes: primary and
# secondary scans whose every frame is answered by the input; libmbus is
# loaded from the program's folder, as the plug-in loads it.
kor_fuzz(FuzzMbusSearch SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzMbusSearch.cpp
         LIBS mbus_module mbus_bus)
add_dependencies(FuzzMbusSearch libmbus)

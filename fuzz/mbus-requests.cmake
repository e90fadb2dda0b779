kor_fuzz(FuzzMbusRequests SOURCES FuzzMbusRequests.cpp LIBS mbus_module)

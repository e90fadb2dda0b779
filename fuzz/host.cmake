# mbus-host's readers of outside input: the arguments of "read" and "search"
# (and the port texts and intervals inside them), the plug-in's raw data that
# may be a speed switch, and its answers to the search events.
kor_fuzz(FuzzHostArguments SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzHostArguments.cpp
         LIBS plugin_host)
# The request document looked at before a read, and the tally of the
# devices the rows answered.
kor_fuzz(FuzzRequestCheck SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzRequestCheck.cpp LIBS plugin_host)

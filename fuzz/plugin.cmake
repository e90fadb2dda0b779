kor_fuzz(FuzzPluginBoundary SOURCES FuzzPluginBoundary.cpp LIBS plugin)

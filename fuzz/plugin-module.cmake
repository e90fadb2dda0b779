kor_fuzz(FuzzPluginModuleText SOURCES FuzzPluginModuleText.cpp LIBS plugin)

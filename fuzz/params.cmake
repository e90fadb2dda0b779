kor_fuzz(FuzzParamsList SOURCES FuzzParamsList.cpp LIBS params)
kor_fuzz(FuzzVariantChangeType SOURCES FuzzVariantChangeType.cpp LIBS platform)

kor_fuzz(FuzzIniFile SOURCES FuzzIniFile.cpp LIBS params)

kor_fuzz(FuzzXMLTree SOURCES FuzzXMLTree.cpp LIBS params)

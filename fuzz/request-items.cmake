kor_fuzz(FuzzRequestItemXml SOURCES FuzzRequestItemXml.cpp LIBS framework)

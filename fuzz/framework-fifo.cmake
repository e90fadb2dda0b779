kor_fuzz(FuzzFIFOStream SOURCES FuzzFIFOStream.cpp LIBS framework)

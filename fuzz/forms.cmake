# Form streams: the binary reader and the text-form parser; the string
# holder's decoder and the path from a form stream to property lines.
kor_fuzz(FuzzFormStream SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzFormStream.cpp LIBS kor_formtext)
kor_fuzz(FuzzStringHolder SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzStringHolder.cpp LIBS plugin)

# The dialog runner's syntax-tree reader (tools/scriptrun): arbitrary XML.
kor_fuzz(FuzzScriptTree SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzScriptTree.cpp LIBS kor_scripttree)

# The dialog script compiler (tools/scriptc): arbitrary source text.
kor_fuzz(FuzzScriptCompiler SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzScriptCompiler.cpp LIBS kor_scriptc)

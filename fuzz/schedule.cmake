kor_fuzz(FuzzSchedule SOURCES FuzzSchedule.cpp LIBS framework)

# Sources of backfill/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_CORE_SOURCES
    backfill/transfer.h backfill/backfillrun.h backfill/backfillrun.cpp)
list(APPEND TICKVANE_GUI_SOURCES
    backfill/eoddata.h backfill/eoddata.cpp)

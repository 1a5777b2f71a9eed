# Sources of backfill/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_GUI_SOURCES
    backfill/eoddata.h backfill/eoddata.cpp
    backfill/backfillrequests.cpp backfill/rundriver.cpp backfill/endofday.cpp
    backfill/backfillimport.cpp backfill/startupbackfill.cpp)

# Sources of backfill/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_GUI_SOURCES
    backfill/backfillrequests.cpp backfill/rundriver.cpp backfill/endofday.cpp
    backfill/backfillimport.cpp backfill/startupbackfill.cpp)

# Sources of update/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_CORE_SOURCES
    update/stagedmove.h update/stagedmove.cpp)
list(APPEND TICKVANE_GUI_SOURCES
    update/updator.h update/updator.cpp)

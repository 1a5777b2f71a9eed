# Sources of update/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_GUI_SOURCES
    update/updator.h update/updator.cpp)

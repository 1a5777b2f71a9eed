# Sources of workspace/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_GUI_SOURCES
    workspace/closesequence.cpp)

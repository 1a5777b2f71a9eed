# Sources of symbols/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_GUI_SOURCES
    symbols/catalogue.cpp symbols/selection.cpp symbols/watchlists.cpp symbols/displaytable.cpp)

# Sources of symbols/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_CORE_SOURCES
    symbols/watchlist.h symbols/watchlist.cpp
    symbols/livequotes.h symbols/livequotes.cpp)
list(APPEND TICKVANE_GUI_SOURCES
    symbols/feedboxes.h
    symbols/catalogue.cpp symbols/selection.cpp symbols/watchlists.cpp symbols/displaytable.cpp)

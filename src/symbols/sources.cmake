# Sources of symbols/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_CORE_SOURCES
    symbols/feeds.h symbols/displaycolumns.h
    symbols/selection.h symbols/selection.cpp
    symbols/watchlist.h symbols/watchlist.cpp
    symbols/livequotes.h symbols/livequotes.cpp
    symbols/replypass.h symbols/replypass.cpp
    symbols/displaytablemodel.h symbols/displaytablemodel.cpp)

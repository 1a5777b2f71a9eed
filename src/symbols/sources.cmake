# Sources of symbols/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_CORE_SOURCES
    symbols/feeds.h symbols/displaycolumns.h
    symbols/selection.h symbols/selection.cpp
    symbols/watchlist.h symbols/watchlist.cpp
    symbols/livequotes.h symbols/livequotes.cpp
    symbols/replypass.h symbols/replypass.cpp
    symbols/displaytablemodel.h symbols/displaytablemodel.cpp)
# The display table's view and the delegate that draws its cells, beside their model.
list(APPEND TICKVANE_GUI_SOURCES
    symbols/displaytableview.h symbols/displaytableview.cpp
    symbols/displaytabledelegate.h symbols/displaytabledelegate.cpp)

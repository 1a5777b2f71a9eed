# Sources of feed/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_CORE_SOURCES
    feed/mydownloader.h feed/mydownloader.cpp
    feed/liveimport.h feed/liveimport.cpp
    feed/amibroker.h feed/amibroker.cpp
    feed/livedataupdator.h feed/livedataupdator.cpp
    feed/feedhealth.h feed/feedhealth.cpp
    feed/troublenotifier.h feed/troublenotifier.cpp
    feed/feedsession.h feed/feedsession.cpp)
# The main window, split by the subsystem each part shows.
list(APPEND TICKVANE_GUI_SOURCES
    feed/amibrokerlivedata2.h feed/amibrokerlivedata2.cpp
    feed/amibrokerlivedata2_symbols.cpp feed/amibrokerlivedata2_table.cpp
    feed/amibrokerlivedata2_backfill.cpp)

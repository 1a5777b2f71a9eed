# Sources of feed/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_CORE_SOURCES
    feed/mydownloader.h feed/mydownloader.cpp
    feed/liveimport.h feed/liveimport.cpp)
list(APPEND TICKVANE_GUI_SOURCES
    feed/amibroker.h feed/amibroker.cpp
    feed/livedataupdator.h feed/livedataupdator.cpp
    feed/amibrokerlivedata2.h feed/amibrokerlivedata2.cpp)

# Sources of app/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_CORE_SOURCES
    app/config.h app/config.cpp app/installfolder.h
    app/eventlog.h app/eventlog.cpp
    app/archivetool.h app/archivetool.cpp
    app/downloadprogress.h app/downloadprogress.cpp
    app/settingsstore.h app/settingsstore.cpp
    app/splashgeometry.h app/splashgeometry.cpp)
list(APPEND TICKVANE_GUI_SOURCES
    app/seams.h app/seams.cpp
    app/qtcompat.h app/qtcompat.cpp
    app/settings.h app/settings.cpp
    app/singleinstance.h app/singleinstance.cpp
    app/entryloop.h app/entryloop.cpp
    app/windowstart.h app/windowstart.cpp
    app/startupanimation.h app/startupanimation.cpp)

# One Windows file and one stand-in per seam; the rest of the code never asks which.
list(APPEND TICKVANE_CORE_SOURCES
    platform/processlister.h platform/processender.h platform/windowraiser.h
    platform/externaltools.h platform/automationobject.h platform/shutdownsignals.h
    platform/programfolder.h platform/steadyclock.h platform/databaseplugins.h
    platform/runningmark.h platform/runningfiles.h
    platform/journal.h platform/journal.cpp)
if(WIN32)
    list(APPEND TICKVANE_CORE_SOURCES
        platform/processlister_win.cpp platform/processender_win.cpp
        platform/windowraiser_win.cpp platform/externaltools_win.cpp
        platform/shutdownsignals_win.cpp platform/programfolder_win.cpp
        platform/steadyclock_win.cpp platform/databaseplugins_win.cpp
        platform/runningmark_win.cpp platform/runningfiles_win.cpp)
    # QAxWidget needs the widgets library.
    list(APPEND TICKVANE_GUI_SOURCES platform/automationobject_win.cpp)
else()
    list(APPEND TICKVANE_CORE_SOURCES
        platform/processlister_posix.cpp platform/processender_posix.cpp
        platform/windowraiser_posix.cpp platform/externaltools_posix.cpp
        platform/shutdownsignals_posix.cpp platform/automationobject_posix.cpp
        platform/programfolder_posix.cpp platform/steadyclock_posix.cpp
        platform/databaseplugins_posix.cpp platform/runningmark_posix.cpp
        platform/runningfiles_posix.cpp)
endif()

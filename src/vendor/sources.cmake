# Sources of vendor/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_CORE_SOURCES
    vendor/vendorservice.h vendor/vendorservice.cpp)
list(APPEND TICKVANE_GUI_SOURCES
    vendor/authdialog.h vendor/authdialog.cpp
    vendor/mainwindowactions.cpp)
list(APPEND TICKVANE_CORE_SOURCES
    vendor/vendordatabase.h vendor/vendordatabase.cpp)
list(APPEND TICKVANE_CORE_SOURCES
    vendor/connectionprobe.h vendor/connectionprobe.cpp
    vendor/versionrule.h vendor/versionrule.cpp)
list(APPEND TICKVANE_GUI_SOURCES
    vendor/registrationdialog.h vendor/registrationdialog.cpp)

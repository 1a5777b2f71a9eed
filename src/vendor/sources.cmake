# Sources of vendor/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_CORE_SOURCES
    vendor/vendorservice.h vendor/vendorservice.cpp
    vendor/vendordatabase.h vendor/vendordatabase.cpp
    vendor/vendorconnection.h vendor/vendorconnection.cpp
    vendor/account.h vendor/account.cpp
    vendor/feedconsole.h
    vendor/connectionprobe.h vendor/connectionprobe.cpp
    vendor/connectionmonitor.h vendor/connectionmonitor.cpp
    vendor/versionrule.h vendor/versionrule.cpp)
list(APPEND TICKVANE_GUI_SOURCES
    vendor/authdialog.h vendor/authdialog.cpp
    vendor/feedengine.h vendor/feedengine.cpp
    vendor/registrationdialog.h vendor/registrationdialog.cpp)

# Sources of workspace/, added to the core (no widgets) or the gui library.
list(APPEND TICKVANE_CORE_SOURCES
    workspace/provisioning.h workspace/provisioning.cpp)

# cpp-httplib 0.11.4 (MIT, see LICENSE), the release Debian 12 ships, for the MinGW cross build:
# Debian's package is split into a header and a Linux library, so the single header lives here.
add_library(httplib::httplib INTERFACE IMPORTED GLOBAL)
set_target_properties(httplib::httplib PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_CURRENT_LIST_DIR}
    INTERFACE_LINK_LIBRARIES "ws2_32;crypt32")

# `cmake --install` lays out the install folder as a trader's machine has it: the program beside the
# format files and the database templates (install/), and on Windows the archive tool, the Qt
# runtime with its plugins and the MySQL client library. The install prefix is that folder.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    if(WIN32)
        set(default_root "C:/Quorvix")
    else()
        set(default_root "$ENV{HOME}/Quorvix")
    endif()
    # The same folder the program uses when QUORVIX_ROOT is unset.
    set(CMAKE_INSTALL_PREFIX "${default_root}" CACHE PATH "The install folder" FORCE)
endif()

install(TARGETS tickvane RUNTIME DESTINATION .)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/install/ DESTINATION .)

if(NOT WIN32)
    return()
endif()

# Qt 6 records qmake's place per build configuration only.
get_target_property(tickvane_qmake Qt${TICKVANE_QT}::qmake IMPORTED_LOCATION)
if(NOT tickvane_qmake)
    get_target_property(tickvane_qmake_configs Qt${TICKVANE_QT}::qmake IMPORTED_CONFIGURATIONS)
    list(GET tickvane_qmake_configs 0 tickvane_qmake_config)
    get_target_property(tickvane_qmake Qt${TICKVANE_QT}::qmake IMPORTED_LOCATION_${tickvane_qmake_config})
endif()
get_filename_component(tickvane_qt_bin ${tickvane_qmake} DIRECTORY)
get_filename_component(tickvane_qt_root ${tickvane_qt_bin} DIRECTORY)

# A Qt that carries MariaDB Connector/C (as the cross-built one does) offers its client library and
# log-in plugins as defaults.
set(tickvane_default_client "")
if(EXISTS ${tickvane_qt_bin}/libmariadb.dll)
    set(tickvane_default_client ${tickvane_qt_bin}/libmariadb.dll)
endif()
set(tickvane_default_plugins "")
foreach(plugin caching_sha2_password sha256_password client_ed25519 dialog mysql_clear_password)
    set(candidate ${tickvane_qt_root}/mariadb/lib/mariadb/plugin/${plugin}.dll)
    if(EXISTS ${candidate})
        list(APPEND tickvane_default_plugins ${candidate})
    endif()
endforeach()

set(TICKVANE_7ZA "" CACHE FILEPATH
    "7za.exe (the standalone console 7-Zip) to place beside the program")
set(TICKVANE_MYSQL_CLIENT "${tickvane_default_client}" CACHE STRING
    "The client library the QMYSQL driver loads (libmariadb.dll, or libmysql.dll with its OpenSSL DLLs); a list")
set(TICKVANE_MYSQL_PLUGINS "${tickvane_default_plugins}" CACHE STRING
    "The client library's log-in plugins (caching_sha2_password.dll, client_ed25519.dll, ...); a list")

if(TICKVANE_7ZA)
    install(PROGRAMS ${TICKVANE_7ZA} DESTINATION . RENAME 7za.exe)
else()
    message(STATUS "TICKVANE_7ZA is not set: the install folder will lack 7za.exe")
endif()
if(TICKVANE_MYSQL_CLIENT)
    install(FILES ${TICKVANE_MYSQL_CLIENT} DESTINATION .)
else()
    message(STATUS "TICKVANE_MYSQL_CLIENT is not set: the QMYSQL driver will find no client library")
endif()
# Connector/C loads a log-in plugin by its bare name unless told a folder, so Windows finds it
# beside the program; a MySQL 8 server's caching_sha2_password needs one.
if(TICKVANE_MYSQL_PLUGINS)
    install(FILES ${TICKVANE_MYSQL_PLUGINS} DESTINATION .)
else()
    message(STATUS "TICKVANE_MYSQL_PLUGINS is not set: log-ins through a client plugin will fail")
endif()

# The MSVC runtime goes beside the program; windeployqt brings MinGW's.
set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION .)
include(InstallRequiredSystemLibraries)

find_program(TICKVANE_WINDEPLOYQT windeployqt HINTS ${tickvane_qt_bin})
if(NOT TICKVANE_WINDEPLOYQT AND CMAKE_CROSSCOMPILING AND MINGW)
    # A Qt cross-built with MinGW has no windeployqt: the same set is copied from Qt's own folders.
    foreach(module Core Gui Widgets Network Sql)
        install(FILES $<TARGET_FILE:Qt5::${module}> DESTINATION .)
    endforeach()
    install(FILES ${tickvane_qt_bin}/libstdc++-6.dll ${tickvane_qt_bin}/libgcc_s_seh-1.dll
        ${tickvane_qt_bin}/libwinpthread-1.dll DESTINATION .)
    foreach(plugin platforms/qwindows styles/qwindowsvistastyle imageformats/qjpeg sqldrivers/qsqlite
            sqldrivers/qsqlmysql)
        get_filename_component(type ${plugin} DIRECTORY)
        install(FILES ${tickvane_qt_root}/plugins/${plugin}.dll DESTINATION ${type})
    endforeach()
    return()
endif()
if(NOT TICKVANE_WINDEPLOYQT)
    message(FATAL_ERROR "windeployqt is not beside Qt's qmake in ${tickvane_qt_bin}")
endif()
if(MINGW)
    set(tickvane_compiler_runtime --compiler-runtime)
else()
    set(tickvane_compiler_runtime --no-compiler-runtime)
endif()
# Qt 6 ships no ANGLE, and its windeployqt refuses the switch.
if(TICKVANE_QT STREQUAL "5")
    set(tickvane_deploy_options --no-angle)
else()
    set(tickvane_deploy_options)
endif()
install(CODE "
    set(TICKVANE_WINDEPLOYQT [[${TICKVANE_WINDEPLOYQT}]])
    set(TICKVANE_COMPILER_RUNTIME ${tickvane_compiler_runtime})
    set(TICKVANE_DEPLOY_OPTIONS ${tickvane_deploy_options})
    set(TICKVANE_PROGRAM [[$<TARGET_FILE_NAME:tickvane>]])
")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/TickvaneDeployQt.cmake)

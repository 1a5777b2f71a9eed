# Test: after windeployqt (stood in for by a program that does nothing), the install step keeps
# exactly the plugins the program loads, release or debug (Qt 6.8's names among them: the modern
# Windows style, the TLS backend https needs). Run by CTest with -DWORK -DNOOP.
cmake_policy(VERSION 3.16)
file(REMOVE_RECURSE "${WORK}")

# plugin file, kept?
set(cases
    platforms/qwindows.dll            yes
    styles/qwindowsvistastyle.dll     yes
    styles/qmodernwindowsstyle.dll    yes
    tls/qschannelbackend.dll          yes
    imageformats/qjpeg.dll            yes
    imageformats/qjpegd.dll           yes
    imageformats/qgif.dll             no
    imageformats/qico.dll             no
    imageformats/qsvgd.dll            no
    sqldrivers/qsqlite.dll            yes
    sqldrivers/qsqlmysql.dll          yes
    sqldrivers/qsqlmysqld.dll         yes
    sqldrivers/qsqlodbc.dll           no
    sqldrivers/qsqlpsql.dll           no
    sqldrivers/qsqlmimer.dll          no)
set(CMAKE_INSTALL_PREFIX "${WORK}")
set(TICKVANE_WINDEPLOYQT "${NOOP}")
set(TICKVANE_PROGRAM Tickvane.exe)
set(TICKVANE_COMPILER_RUNTIME --no-compiler-runtime)
set(plugins ${cases})
list(FILTER plugins EXCLUDE REGEX "^(yes|no)$")
foreach(plugin ${plugins})
    file(WRITE "${WORK}/${plugin}" "")
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/TickvaneDeployQt.cmake)

set(faults)
list(LENGTH cases length)
math(EXPR last "${length} - 1")
foreach(index RANGE 0 ${last} 2)
    math(EXPR next "${index} + 1")
    list(GET cases ${index} plugin)
    list(GET cases ${next} kept)
    if(kept AND NOT EXISTS "${WORK}/${plugin}")
        list(APPEND faults "removed: ${plugin}")
    elseif(NOT kept AND EXISTS "${WORK}/${plugin}")
        list(APPEND faults "kept: ${plugin}")
    endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
if(faults)
    string(REPLACE ";" "\n  " faults "${faults}")
    message(FATAL_ERROR "plugins after deployment:\n  ${faults}")
endif()

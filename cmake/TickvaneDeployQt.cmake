# Install step on Windows: windeployqt brings the Qt libraries and plugins beside the installed
# program, then only the plugins the program loads are kept: the JPEG reader (splash and window
# pictures) and the SQLite and MySQL drivers, besides the platform and style plugins.
cmake_policy(PUSH)
cmake_policy(VERSION 3.16)
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
execute_process(
    COMMAND ${TICKVANE_WINDEPLOYQT} --no-translations --no-system-d3d-compiler --no-opengl-sw
            ${TICKVANE_DEPLOY_OPTIONS} ${TICKVANE_COMPILER_RUNTIME} "${folder}/${TICKVANE_PROGRAM}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "windeployqt failed (${result})")
endif()

set(wanted imageformats/qjpeg sqldrivers/qsqlite sqldrivers/qsqlmysql)
foreach(type imageformats sqldrivers)
    file(GLOB plugins "${folder}/${type}/*.dll")
    foreach(plugin ${plugins})
        get_filename_component(name ${plugin} NAME_WE)
        string(REGEX REPLACE "d$" "" release_name ${name})
        if(NOT "${type}/${name}" IN_LIST wanted AND NOT "${type}/${release_name}" IN_LIST wanted)
            file(REMOVE ${plugin})
        endif()
    endforeach()
endforeach()

foreach(plugin platforms/qwindows imageformats/qjpeg sqldrivers/qsqlite sqldrivers/qsqlmysql)
    file(GLOB found "${folder}/${plugin}.dll" "${folder}/${plugin}d.dll")
    if(NOT found)
        message(WARNING "${plugin}.dll is not in the install folder: this Qt lacks it (see the README)")
    endif()
endforeach()
cmake_policy(POP)

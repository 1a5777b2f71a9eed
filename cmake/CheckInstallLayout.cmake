# Test: `cmake --install` into an empty folder lays out the install folder, and nothing that
# belongs to development gets in. Run by CTest with -DBUILD_DIR -DCONFIG -DPREFIX -DPROGRAM
# -DSOURCE_DIR -DWINDOWS -DSEVENZIP -DQT_MAJOR -DMYSQL_FILES.
cmake_policy(VERSION 3.16)
file(REMOVE_RECURSE "${PREFIX}")
set(config)
if(CONFIG)
    set(config --config ${CONFIG})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}" ${config}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

# Copied unchanged from install/: what AmiBroker and the workspace provisioning read.
set(shipped dataFormat.dll dataFormatEod.dll dataFormatRT.dll
    dbfiles/broker.master dbfiles/broker.watch dbfiles/broker.workspace)
set(required ${PROGRAM} ${shipped})
if(WINDOWS)
    list(APPEND required Qt${QT_MAJOR}Core.dll Qt${QT_MAJOR}Gui.dll Qt${QT_MAJOR}Widgets.dll
        Qt${QT_MAJOR}Network.dll Qt${QT_MAJOR}Sql.dll
        platforms/qwindows.dll imageformats/qjpeg.dll sqldrivers/qsqlite.dll)
    if(SEVENZIP)
        list(APPEND required 7za.exe)
    endif()
    # The MySQL driver with its client library and log-in plugins, when the build names them.
    set(mysql_names)
    foreach(file ${MYSQL_FILES})
        get_filename_component(name "${file}" NAME)
        list(APPEND mysql_names ${name})
    endforeach()
    if(mysql_names)
        list(APPEND required sqldrivers/qsqlmysql.dll ${mysql_names})
    endif()
endif()
set(forbidden "vendor-sim" "tst_" "bench_" "[.]a$" "[.]lib$" "imageformats/qgif" "sqldrivers/qsqlpsql"
    "sqldrivers/qsqlodbc")

file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
set(faults)
foreach(file ${required})
    # A debug Qt names its libraries and plugins with a trailing "d".
    string(REGEX REPLACE "[.]dll$" "d.dll" debug_file "${file}")
    if(NOT EXISTS "${PREFIX}/${file}" AND NOT EXISTS "${PREFIX}/${debug_file}")
        list(APPEND faults "missing: ${file}")
    endif()
endforeach()
foreach(file ${installed})
    foreach(pattern ${forbidden})
        if(file MATCHES "${pattern}")
            list(APPEND faults "not for a trader's machine: ${file}")
        endif()
    endforeach()
    # Elsewhere than Windows nothing is deployed beside the program: the layout is exact.
    if(NOT WINDOWS AND NOT file IN_LIST required)
        list(APPEND faults "unexpected: ${file}")
    endif()
endforeach()
foreach(file ${shipped})
    if(EXISTS "${PREFIX}/${file}")
        execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${SOURCE_DIR}/install/${file}" "${PREFIX}/${file}"
            RESULT_VARIABLE differs)
        if(NOT differs EQUAL 0)
            list(APPEND faults "differs from install/: ${file}")
        endif()
    endif()
endforeach()

if(faults)
    string(REPLACE ";" "\n  " faults "${faults}")
    message(FATAL_ERROR "install folder ${PREFIX}:\n  ${faults}")
endif()
list(LENGTH installed count)
message(STATUS "install folder ${PREFIX}: ${count} files as expected")
file(REMOVE_RECURSE "${PREFIX}")

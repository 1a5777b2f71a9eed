# The Windows version resource and icon of the program, generated from the project version the
# same way as app/version.h. Also used in script mode by the Windows compile check.
set(TICKVANE_RC_TEMPLATE_DIR ${CMAKE_CURRENT_LIST_DIR})

# tickvane_version_resource(<output .rc> <icon>) with PROJECT_VERSION set, e.g. 4.02.
function(tickvane_version_resource output icon)
    # "4.02" is 4,2,0,0 in the resource: four decimal fields, leading zeros dropped.
    string(REPLACE "." ";" fields "${PROJECT_VERSION}")
    list(APPEND fields 0 0 0)
    set(numbers)
    foreach(index RANGE 3)
        list(GET fields ${index} field)
        string(REGEX REPLACE "^0+([0-9])" "\\1" field "${field}")
        list(APPEND numbers ${field})
    endforeach()
    string(REPLACE ";" "," TICKVANE_RC_VERSION_COMMAS "${numbers}")
    file(TO_CMAKE_PATH "${icon}" TICKVANE_RC_ICON)
    configure_file(${TICKVANE_RC_TEMPLATE_DIR}/tickvane.rc.in ${output} @ONLY)
endfunction()

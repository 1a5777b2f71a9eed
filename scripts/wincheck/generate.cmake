# The generated inputs of the Windows compile check, made as the build makes them:
# app/version.h and tickvane.rc from the project version. -DSOURCE_DIR -DOUTPUT_DIR
file(STRINGS ${SOURCE_DIR}/CMakeLists.txt project_line REGEX "^project\\(Tickvane VERSION")
string(REGEX REPLACE ".*VERSION ([0-9.]+).*" "\\1" PROJECT_VERSION "${project_line}")
configure_file(${SOURCE_DIR}/src/app/version.h.in ${OUTPUT_DIR}/app/version.h @ONLY)
include(${SOURCE_DIR}/cmake/TickvaneVersionResource.cmake)
tickvane_version_resource(${OUTPUT_DIR}/tickvane.rc ${SOURCE_DIR}/src/resources/tickvane.ico)

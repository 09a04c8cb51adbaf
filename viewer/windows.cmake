# The Windows executable: the viewer's sources with the real Win32 libraries,
# the assets embedded by the resource compiler from ORNA_ASSET_DIR.
enable_language(RC)
file(GLOB ORNA_VIEWER_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/viewer.rc.in ${CMAKE_CURRENT_BINARY_DIR}/viewer.rc @ONLY)
add_executable(orna-viewer WIN32 ${ORNA_VIEWER_SOURCES} ${CMAKE_CURRENT_BINARY_DIR}/viewer.rc)
target_link_libraries(orna-viewer PRIVATE orna_player orna_tune)
add_dependencies(orna-viewer orna_assets)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/viewer.rc PROPERTIES OBJECT_DEPENDS "${ORNA_ASSET_FILES}")

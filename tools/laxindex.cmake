add_executable(cm_laxindex ${CMAKE_CURRENT_LIST_DIR}/laxindex.cpp)
target_link_libraries(cm_laxindex PRIVATE cm_pointio cm_warnings)
# The tiled-survey help of contourmill names this tool, so it is installed beside it.
include(GNUInstallDirs)
install(TARGETS cm_laxindex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

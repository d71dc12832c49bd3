add_executable(cm_laxindex ${CMAKE_CURRENT_LIST_DIR}/laxindex.cpp)
target_link_libraries(cm_laxindex PRIVATE cm_pointio cm_warnings)

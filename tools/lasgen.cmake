add_executable(cm_lasgen ${CMAKE_CURRENT_LIST_DIR}/lasgen.cpp)
target_include_directories(cm_lasgen PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(cm_lasgen PRIVATE cm_warnings)

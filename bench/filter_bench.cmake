add_executable(filter_bench ${CMAKE_CURRENT_LIST_DIR}/filter_bench.cpp)
target_link_libraries(filter_bench PRIVATE benchmark::benchmark cm_filter cm_pointio cm_warnings)
target_include_directories(filter_bench PRIVATE ${PROJECT_SOURCE_DIR})

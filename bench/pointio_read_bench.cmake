add_executable(pointio_read_bench ${CMAKE_CURRENT_LIST_DIR}/pointio_read_bench.cpp)
target_link_libraries(pointio_read_bench PRIVATE benchmark::benchmark cm_pointio cm_warnings)
target_include_directories(pointio_read_bench PRIVATE ${PROJECT_SOURCE_DIR})

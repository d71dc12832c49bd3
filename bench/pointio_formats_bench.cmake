find_package(LibArchive REQUIRED)
add_executable(pointio_formats_bench ${CMAKE_CURRENT_LIST_DIR}/pointio_formats_bench.cpp)
target_link_libraries(pointio_formats_bench PRIVATE benchmark::benchmark cm_pointio LibArchive::LibArchive cm_warnings)
target_include_directories(pointio_formats_bench PRIVATE ${PROJECT_SOURCE_DIR})

add_executable(compression_bench ${CMAKE_CURRENT_LIST_DIR}/compression_bench.cpp)
target_link_libraries(compression_bench PRIVATE benchmark::benchmark cm_compression cm_warnings)
target_include_directories(compression_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(compression_bench PRIVATE CM_SHARED_DATA_DIR="${PROJECT_SOURCE_DIR}/../shared/data")

# Writes the points of a compressed file as an uncompressed LAS file, for the end-to-end comparison.
add_executable(rkp_to_las ${CMAKE_CURRENT_LIST_DIR}/rkp_to_las.cpp)
target_link_libraries(rkp_to_las PRIVATE cm_compression cm_warnings)
target_include_directories(rkp_to_las PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(rkp_to_las PRIVATE CM_SHARED_DATA_DIR="${PROJECT_SOURCE_DIR}/../shared/data")

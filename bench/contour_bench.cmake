add_executable(contour_bench ${CMAKE_CURRENT_LIST_DIR}/contour_bench.cpp)
target_link_libraries(contour_bench PRIVATE benchmark::benchmark cm_contour cm_tin cm_warnings)

# Delaunay TIN insertion speed; compared with CGAL's Delaunay_triangulation_2 when installed.
add_executable(tin_bench ${CMAKE_CURRENT_LIST_DIR}/tin_bench.cpp)
target_link_libraries(tin_bench PRIVATE benchmark::benchmark cm_tin cm_warnings)
find_package(CGAL QUIET)
if(CGAL_FOUND)
  target_link_libraries(tin_bench PRIVATE CGAL::CGAL)
  target_compile_definitions(tin_bench PRIVATE CM_BENCH_WITH_CGAL=1)
endif()

# Terrain operations before tracing, timed next to the triangulation they follow.
add_executable(terrain_bench ${CMAKE_CURRENT_LIST_DIR}/terrain_bench.cpp)
target_link_libraries(terrain_bench PRIVATE benchmark::benchmark cm_contour cm_tin cm_tool_headers cm_warnings)

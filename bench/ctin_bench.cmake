# The constrained TIN against the plain TIN on the same points, through the driver's steps.
add_executable(ctin_bench ${CMAKE_CURRENT_LIST_DIR}/ctin_bench.cpp)
target_link_libraries(ctin_bench PRIVATE benchmark::benchmark cm_app cm_tool_headers cm_warnings)
target_include_directories(ctin_bench PRIVATE ${PROJECT_SOURCE_DIR})

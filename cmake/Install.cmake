# The privileged helper, and how Kestrelwatch installs: programs, data, desktop integration, man pages, the
# service unit, file capabilities, and the Debian package.
add_subdirectory(${CMAKE_SOURCE_DIR}/helper ${CMAKE_BINARY_DIR}/helper)
if(KW_BUILD_TESTS AND EXISTS ${CMAKE_SOURCE_DIR}/tests/helper/CMakeLists.txt)
    add_subdirectory(${CMAKE_SOURCE_DIR}/tests/helper ${CMAKE_BINARY_DIR}/tests/helper)
endif()
if(KW_BUILD_BENCH AND EXISTS ${CMAKE_SOURCE_DIR}/bench/helper/CMakeLists.txt)
    add_subdirectory(${CMAKE_SOURCE_DIR}/bench/helper ${CMAKE_BINARY_DIR}/bench/helper)
endif()

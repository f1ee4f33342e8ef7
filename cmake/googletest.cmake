# GoogleTest from the Debian source package, built with this project's flags
# so that the 32-bit configuration gets 32-bit test libraries too.
set(TAVO_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
# GoogleTest does not build cleanly with -Werror under every compiler.
set(_tavo_saved_options "${CMAKE_CXX_FLAGS}")
add_subdirectory(${TAVO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    target_compile_options(${t} PRIVATE -Wno-error)
    set_target_properties(${t} PROPERTIES CXX_VISIBILITY_PRESET default)
  endif()
endforeach()
include(GoogleTest)

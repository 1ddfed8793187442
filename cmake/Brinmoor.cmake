# Helpers that give every folder the same shape of target.
#
# Platform folders are object libraries collected into libkxplatform.so with default visibility: the host,
# the library and the tests share that one platform (one window system, one CString).
# System folders are static libraries built with hidden visibility: libbrinmoor.so takes them whole and
# exports only its 38 functions; test programs link them directly.

set(KX_PLATFORM_FOLDERS "" CACHE INTERNAL "")

# kx_platform_folder(<name> SOURCES ... [LIBS ...])
function(kx_platform_folder name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(kx_${name} OBJECT ${A_SOURCES})
  target_include_directories(kx_${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_definitions(kx_${name} PRIVATE KX_BUILDING_PLATFORM)
  if(A_LIBS)
    target_link_libraries(kx_${name} PUBLIC ${A_LIBS})
  endif()
  set(KX_PLATFORM_FOLDERS ${KX_PLATFORM_FOLDERS} ${name} CACHE INTERNAL "")
endfunction()

# kx_system_folder(<name> SOURCES ... [LIBS ...])
function(kx_system_folder name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(kx_${name} STATIC ${A_SOURCES})
  target_include_directories(kx_${name} PUBLIC ${CMAKE_SOURCE_DIR})
  set_target_properties(kx_${name} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(kx_${name} PUBLIC kxplatform ${A_LIBS})
endfunction()

# kx_test(<folder> SOURCES ... [LIBS ...] [PROPERTIES ...]): one GoogleTest program per folder, its cases listed in
# CTest, with more CTest properties when given.
function(kx_test folder)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(test_${folder} ${A_SOURCES})
  target_include_directories(test_${folder} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(test_${folder} PRIVATE ${A_LIBS} kx_testsupport GTest::gtest GTest::gmock Threads::Threads)
  gtest_discover_tests(test_${folder} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ${A_PROPERTIES}
                       ENVIRONMENT "KX_TEST_BIN=${CMAKE_BINARY_DIR};KX_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()

# kx_sources_of(<variable> <library> ...): the absolute paths of the libraries' own sources, for programs that
# compile the code they attack with sanitizers of their own.
function(kx_sources_of var)
  set(out)
  foreach(lib ${ARGN})
    get_target_property(lib_sources ${lib} SOURCES)
    get_target_property(lib_dir ${lib} SOURCE_DIR)
    foreach(source ${lib_sources})
      if(NOT IS_ABSOLUTE ${source})
        set(source ${lib_dir}/${source})
      endif()
      list(APPEND out ${source})
    endforeach()
  endforeach()
  set(${var} ${out} PARENT_SCOPE)
endfunction()

# vemro_layer(<folder> [DEPS targets...] [EXCLUDE files...])
# A layer is a static library named vemro_<folder> built from every .cpp in
# source/<folder>/ (not its sub-folders) but the excluded ones, with source/ as its
# public include root.
function(vemro_layer folder)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB layer_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM layer_sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  add_library(vemro_${folder} STATIC ${layer_sources})
  target_include_directories(vemro_${folder} PUBLIC ${PROJECT_SOURCE_DIR}/source
                                                    ${CMAKE_BINARY_DIR}/generated)
  target_link_libraries(vemro_${folder} PUBLIC ${ARG_DEPS})
endfunction()

# vemro_test(<name> SOURCES files... DEPS targets... [RESOURCE_LOCK name])
# A GoogleTest program under tests/, registered with CTest test by test. Tests that
# share a RESOURCE_LOCK never run at the same time.
function(vemro_test name)
  cmake_parse_arguments(ARG "" "RESOURCE_LOCK" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE vemro_test_support vemro_test_main GTest::gtest GTest::gmock ${ARG_DEPS})
  set(lock)
  if(ARG_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 300 ${lock})
endfunction()

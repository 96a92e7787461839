# Helpers that turn each source folder into one static library and each test folder into one
# GoogleTest executable. Folders without sources yet are skipped, so the layers can grow one
# at a time without touching this file.

set(TAMSEL_PCH
  <QByteArray> <QHash> <QList> <QString> <QStringList> <QVariant>
  <algorithm> <cstdint> <cstring> <functional> <memory> <optional> <string> <vector>)

function(tamsel_library name folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  if(NOT sources)
    return()
  endif()
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  add_library(${name} STATIC ${sources} ${headers})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  foreach(dep IN LISTS ARG_DEPS)
    if(TARGET ${dep} OR dep MATCHES "::")
      target_link_libraries(${name} PUBLIC ${dep})
    endif()
  endforeach()
  target_precompile_headers(${name} PRIVATE ${TAMSEL_PCH})
  set_property(GLOBAL APPEND PROPERTY TAMSEL_LIBRARIES ${name})
endfunction()

# tests/<folder> becomes the executable <library>_tests, linked with that library.
function(tamsel_test library folder)
  if(NOT TARGET ${library})
    return()
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${library}_tests ${sources})
  target_link_libraries(${library}_tests PRIVATE ${library} test_support GTest::gtest GTest::gmock Qt6::Test)
  target_precompile_headers(${library}_tests PRIVATE ${TAMSEL_PCH} <gtest/gtest.h>)
  gtest_discover_tests(${library}_tests
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60)
endfunction()

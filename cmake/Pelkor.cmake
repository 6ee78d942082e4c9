# Helpers shared by every folder's CMakeLists.txt.

# pelkor_module(<folder under app/>): a static library pk_<folder> (slashes
# become underscores) from the folder's .cpp files.  Modules do not declare
# links to each other; executables link the modules they need with
# pelkor_link_modules(), which resolves references between them in any order.
function(pelkor_module dir)
  string(REPLACE "/" "_" name "${dir}")
  file(GLOB srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/app/${dir}/*.cpp)
  if(srcs)
    add_library(pk_${name} STATIC ${srcs})
    target_include_directories(pk_${name} PUBLIC ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR})
    target_link_libraries(pk_${name} PUBLIC ${CMAKE_DL_LIBS})
  else()
    add_library(pk_${name} INTERFACE)
    target_include_directories(pk_${name} INTERFACE ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR})
  endif()
endfunction()

# pelkor_link_modules(<target> <module names without pk_ prefix>...)
function(pelkor_link_modules target)
  set(libs)
  foreach(m ${ARGN})
    string(REPLACE "/" "_" m "${m}")
    list(APPEND libs pk_${m})
  endforeach()
  target_link_libraries(${target} PRIVATE "$<LINK_GROUP:RESCAN,${libs}>" ${CMAKE_DL_LIBS})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR})
endfunction()

# pelkor_test(<name> SOURCES <files> [MODULES <modules>] [LIBS <libs>] [LABELS <labels>])
# One GoogleTest executable; each test case becomes a CTest entry.
# Label "sanitize" marks the tests the sanitizer build runs.
function(pelkor_test name)
  cmake_parse_arguments(T "" "" "SOURCES;MODULES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_MODULES)
    pelkor_link_modules(${name} ${T_MODULES})
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    PELKOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    PELKOR_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 LABELS "${T_LABELS}")
endfunction()

find_package(Threads REQUIRED)
if(PELKOR_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

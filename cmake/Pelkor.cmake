# Helpers shared by every folder's CMakeLists.txt.

# Where the files Pelkor ships are installed: a folder of their own, so that
# with a user prefix (~/.local) they never mix with the user's data folder
# (~/.local/share/pelkor).
set(PELKOR_SHIPPED_DIR ${CMAKE_INSTALL_DATADIR}/pelkor/shipped)

# pelkor_module(<folder under app/> [DEPS <modules>...] [RECURSE]): a static
# library pk_<folder> (slashes become underscores) from the folder's .cpp files
# (with RECURSE, also those of its subfolders), linked PUBLIC to the modules it
# uses. Links are real, so a module that includes one that includes it back
# fails to link instead of hiding behind a link group.
function(pelkor_module dir)
  cmake_parse_arguments(M "RECURSE" "" "DEPS" ${ARGN})
  string(REPLACE "/" "_" name "${dir}")
  if(M_RECURSE)
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/app/${dir}/*.cpp)
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/app/${dir}/*.cpp)
  endif()
  set(deps)
  foreach(d ${M_DEPS})
    string(REPLACE "/" "_" d "${d}")
    list(APPEND deps pk_${d})
  endforeach()
  if(srcs)
    add_library(pk_${name} STATIC ${srcs})
    target_include_directories(pk_${name} PUBLIC ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR})
    target_link_libraries(pk_${name} PUBLIC ${deps} ${CMAKE_DL_LIBS})
  else()
    add_library(pk_${name} INTERFACE)
    target_include_directories(pk_${name} INTERFACE ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR})
    target_link_libraries(pk_${name} INTERFACE ${deps})
  endif()
endfunction()

# pelkor_link_modules(<target> <module names without pk_ prefix>...)
function(pelkor_link_modules target)
  set(libs)
  foreach(m ${ARGN})
    string(REPLACE "/" "_" m "${m}")
    list(APPEND libs pk_${m})
  endforeach()
  target_link_libraries(${target} PRIVATE ${libs} ${CMAKE_DL_LIBS})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR})
endfunction()

# pelkor_test(<name> SOURCES <files> [MODULES <modules>] [LIBS <libs>] [LABELS <labels>] [SERIAL])
# One GoogleTest executable; each test case becomes a CTest entry.
# Label "sanitize" marks the tests the sanitizer build runs; SERIAL runs its
# cases alone (they stop and start servers of their own).
function(pelkor_test name)
  cmake_parse_arguments(T "SERIAL" "" "SOURCES;MODULES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_MODULES)
    pelkor_link_modules(${name} ${T_MODULES})
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    PELKOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    PELKOR_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(CMAKE_CROSSCOMPILING)
    # One entry per program: listing the cases would start the emulator
    # (Wine) for every program at build time.
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS "${T_LABELS}")
  else()
    gtest_discover_tests(${name}
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
      DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT 120 LABELS "${T_LABELS}" RUN_SERIAL ${T_SERIAL})
  endif()
endfunction()

find_package(Threads REQUIRED)
if(PELKOR_QT)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Charts Test)
endif()
if(PELKOR_TESTS AND CMAKE_CROSSCOMPILING)
  # No GoogleTest for the target system: build Debian's sources with it.
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
elseif(PELKOR_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

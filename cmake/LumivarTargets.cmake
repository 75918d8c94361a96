# Shared flags and helpers for every Lumivar target.

add_library(lumivar_flags INTERFACE)
target_compile_options(lumivar_flags INTERFACE -Wall -Wextra -Werror)
target_include_directories(lumivar_flags INTERFACE ${CMAKE_SOURCE_DIR})
if(LUMIVAR_SANITIZE)
  set(_lv_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_compile_options(${_lv_san})
  add_link_options(${_lv_san})
endif()
if(LUMIVAR_TSAN)
  if(LUMIVAR_SANITIZE OR LUMIVAR_FUZZ)
    message(FATAL_ERROR "ThreadSanitizer does not mix with AddressSanitizer: LUMIVAR_TSAN alone")
  endif()
  set(_lv_tsan -fsanitize=thread -fno-omit-frame-pointer)
  add_compile_options(${_lv_tsan})
  add_link_options(${_lv_tsan})
endif()
if(LUMIVAR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "LUMIVAR_FUZZ needs clang: -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Every library carries libFuzzer's coverage; only the fuzz targets link its main.
  set(_lv_fuzz -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
               -fno-sanitize-recover=undefined)
  add_compile_options(${_lv_fuzz})
  add_link_options(-fsanitize=address,undefined)
endif()
# g++ 12 reports uninitialised reads inside std::variant (platform::Value) and overlapping
# copies inside std::string at -O3 that are not there; -Wuninitialized stays on.
target_compile_options(lumivar_flags INTERFACE
  $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized -Wno-restrict>)

# lumivar_drop_own_folders(<list variable>)
# A sub-folder with a CMakeLists.txt of its own is a target of its own: its files leave the list.
function(lumivar_drop_own_folders var)
  set(_srcs ${${var}})
  file(GLOB_RECURSE _own_lists CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(_list ${_own_lists})
    get_filename_component(_dir ${_list} DIRECTORY)
    set(_kept)
    foreach(_src ${_srcs})
      string(FIND "${_src}" "${_dir}/" _at)
      if(NOT _at EQUAL 0)
        list(APPEND _kept ${_src})
      endif()
    endforeach()
    set(_srcs ${_kept})
  endforeach()
  set(${var} ${_srcs} PARENT_SCOPE)
endfunction()

# lumivar_library(<name> [DEPS <targets>...])
# One library per source folder: every .cpp/.c file of the calling folder
# (and its sub-folders that do not have a CMakeLists.txt of their own).
function(lumivar_library name)
  cmake_parse_arguments(LV "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  lumivar_drop_own_folders(_srcs)
  if(NOT _srcs)  # a folder whose first code has not landed yet
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE lumivar_flags ${LV_DEPS})
    set_property(GLOBAL APPEND PROPERTY LUMIVAR_LIBRARIES ${name})
    return()
  endif()
  add_library(${name} STATIC ${_srcs})
  target_link_libraries(${name} PUBLIC lumivar_flags ${LV_DEPS})
  set_property(GLOBAL APPEND PROPERTY LUMIVAR_LIBRARIES ${name})
endfunction()

# Fixture writers grow std::vectors by insert at computed offsets, where g++ 12 at -O2/-O3
# reports copies into or out of zero-sized regions that are not there (its known false
# stringop reports inside vector::insert); the tests run under AddressSanitizer, which
# checks the real thing.
function(lumivar_fixture_warnings target)
  target_compile_options(${target} PRIVATE
    $<$<CXX_COMPILER_ID:GNU>:-Wno-stringop-overflow -Wno-stringop-overread -Wno-array-bounds>)
endfunction()

# lumivar_test(<name> [RECURSE] [DEPS <targets>...] [LABELS <labels>...])
# One test program per test folder: every .cpp file of the calling folder (with RECURSE,
# of its sub-folders too, for a library laid out in sub-folders).
function(lumivar_test name)
  cmake_parse_arguments(LV "RECURSE" "" "DEPS;LABELS" ${ARGN})
  if(LV_RECURSE)
    file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    lumivar_drop_own_folders(_srcs)
  else()
    file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE lumivar_flags ${LV_DEPS} lv_testsupport GTest::gtest GTest::gtest_main)
  lumivar_fixture_warnings(${name})
  set(_props TIMEOUT 300)
  if(LV_LABELS)
    list(APPEND _props LABELS "${LV_LABELS}")
  endif()
  # Tests on the X server share one screen: windows of two at once would overlap in the
  # other's screenshots, so they take turns.
  if("gui" IN_LIST LV_LABELS)
    list(APPEND _props RESOURCE_LOCK xserver)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ${_props})
endfunction()

# lumivar_qt(<target>): a library or program on Qt 6 Gui and Widgets, with moc run on its headers.
function(lumivar_qt target)
  get_target_property(_type ${target} TYPE)
  set(_scope PUBLIC)
  if(_type STREQUAL "INTERFACE_LIBRARY")
    set(_scope INTERFACE)
  endif()
  target_link_libraries(${target} ${_scope} Qt6::Gui Qt6::Widgets)
  # oneTBB's headers use `emit` as a name; Qt's keywords are spelled Q_EMIT, Q_SLOTS...
  target_compile_definitions(${target} ${_scope} QT_NO_KEYWORDS)
  if(NOT _type STREQUAL "INTERFACE_LIBRARY")
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
  endif()
endfunction()

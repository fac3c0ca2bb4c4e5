# brindlecast_warnings(target): the project's warning set, errors when BRINDLECAST_WERROR is on.
function(brindlecast_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(BRINDLECAST_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# brindlecast_kit(name SOURCES ... DEPENDS ...): a module's static library, warnings on.
function(brindlecast_kit name)
  cmake_parse_arguments(KIT "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${KIT_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${KIT_DEPENDS})
  brindlecast_warnings(${name})
endfunction()

# brindlecast_test(name SOURCES ... DEPENDS ... [LABELS ...] [ENV ...] [LOCKS ...] [PREFIX ...]): a
# GoogleTest executable whose cases CTest discovers one by one; cases that hold one of the same
# LOCKS (a shared resource such as the test display's clipboard) never run at the same time. A
# PREFIX goes before each case's name (the same source built twice, over two screens).
function(brindlecast_test name)
  cmake_parse_arguments(T "" "SCREEN;PREFIX" "SOURCES;DEPENDS;LABELS;ENV;LOCKS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_DEPENDS} TestSupport GTest::gmock GTest::gtest)
  brindlecast_warnings(${name})
  set(props "")
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(T_ENV)
    list(APPEND props ENVIRONMENT "${T_ENV}")
  endif()
  if(T_SCREEN)
    # The offscreen platform's screen, described in a file (its own is 800 x 800 at 1x).
    list(APPEND props ENVIRONMENT_MODIFICATION "QT_QPA_PLATFORM=set:offscreen:configfile=${T_SCREEN}")
  endif()
  if(T_LOCKS)
    list(APPEND props RESOURCE_LOCK "${T_LOCKS}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "${T_PREFIX}"
    PROPERTIES ${props})
endfunction()

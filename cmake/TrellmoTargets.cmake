# Warnings are set per target so that Qt's and GoogleTest's headers stay out of them, and a
# warning in our own code fails the build.
function(trellmo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(TRELLMO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

find_package(GTest REQUIRED)

# trellmo_gtest(NAME sources... [LIBS libs...] [LABELS labels...])
# A GoogleTest executable registered with CTest as one test per TEST().
function(trellmo_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  trellmo_warnings(${name})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main ${ARG_LIBS})
  target_compile_definitions(${name} PRIVATE
    TRELLMO_SOURCE_DIR="${PROJECT_SOURCE_DIR}" TRELLMO_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}"
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
endfunction()

# trellmo_qtest(NAME sources... [LIBS libs...]) — a QtTest executable, offscreen.
function(trellmo_qtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  trellmo_warnings(${name})
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
  target_compile_definitions(${name} PRIVATE
    TRELLMO_SOURCE_DIR="${PROJECT_SOURCE_DIR}" TRELLMO_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
endfunction()

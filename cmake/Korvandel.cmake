# Shared build helpers.

# kv_add_gtest(NAME <exe> SOURCES ... [LIBS ...] [LABELS ...] [ENV NAME=value ...]
#              [MAIN gtest|qcore|qgui] [TIMEOUT s])
# One GoogleTest executable; every test case becomes a CTest test of its own so
# they run in parallel, each in its own process. MAIN qcore gives the test a
# QCoreApplication, qgui a QApplication (offscreen).
function(kv_add_gtest)
  cmake_parse_arguments(A "" "NAME;TIMEOUT;MAIN" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if(NOT A_MAIN)
    set(A_MAIN gtest)
  endif()
  add_executable(${A_NAME} ${A_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/QtMain.cpp)
  if(A_MAIN STREQUAL "qgui")
    target_compile_definitions(${A_NAME} PRIVATE KV_TEST_GUI)
    target_link_libraries(${A_NAME} PRIVATE Qt6::Widgets)
  elseif(A_MAIN STREQUAL "qcore")
    target_compile_definitions(${A_NAME} PRIVATE KV_TEST_QCORE)
    target_link_libraries(${A_NAME} PRIVATE Qt6::Core)
  endif()
  # The environment goes into the program itself: a list in a test property
  # would be split apart by the test discovery.
  if(A_ENV)
    list(JOIN A_ENV "|" kv_env)
    target_compile_definitions(${A_NAME} PRIVATE "KV_TEST_ENV=\"${kv_env}\"")
  endif()
  set_target_properties(${A_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${A_NAME} PRIVATE kv_testsupport GTest::gtest GTest::gmock ${A_LIBS})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  # An empty LABELS value would swallow the next property name; give one label.
  if(NOT A_LABELS)
    set(A_LABELS unit)
  endif()
  gtest_discover_tests(${A_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      TIMEOUT ${A_TIMEOUT}
      LABELS "${A_LABELS}"
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# kv_add_fuzz_target(NAME <name> SOURCES ... [LIBS ...] CORPUS <dir> [MIN_COVERAGE <edges>]
#                    RSS_LIMIT_MB n MALLOC_LIMIT_MB n)
# A fuzz target defines LLVMFuzzerTestOneInput. It always builds as a replay
# program that feeds every file of its corpus to the target (an ordinary test);
# with KV_LIBFUZZER under clang it also builds as a libFuzzer binary, whose
# test runs the corpus and a short fuzzing run with a fixed seed, so the result
# is the same every time (long runs are for development). Either run fails when
# the target leaves anything in its temporary folder. The libFuzzer build
# instruments all project code (see the top CMakeLists.txt), so the libraries
# linked here carry coverage too; the run prints the coverage it reached and
# fails below MIN_COVERAGE. It also fails when the process grows beyond
# RSS_LIMIT_MB or one allocation reaches MALLOC_LIMIT_MB: a parser of outside
# input must not let a small input claim a large amount of memory. Both are
# required and fit the target's input, so that a blow-up crosses them; the
# runner sizes the sanitizer's quarantine of freed memory to an eighth of the
# RSS limit, so that it and its bookkeeping stay well below the limit.
function(kv_add_fuzz_target)
  cmake_parse_arguments(A "" "NAME;CORPUS;MIN_COVERAGE;RSS_LIMIT_MB;MALLOC_LIMIT_MB" "SOURCES;LIBS" ${ARGN})
  if(NOT A_MIN_COVERAGE)
    set(A_MIN_COVERAGE 0)
  endif()
  if(NOT A_RSS_LIMIT_MB OR NOT A_MALLOC_LIMIT_MB)
    message(FATAL_ERROR "fuzz target ${A_NAME}: give RSS_LIMIT_MB and MALLOC_LIMIT_MB fitting its input")
  endif()
  if(KV_LIBFUZZER)
    add_executable(${A_NAME}_fuzzer ${A_SOURCES})
    target_compile_options(${A_NAME}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(${A_NAME}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${A_NAME}_fuzzer PRIVATE ${A_LIBS})
    set_target_properties(${A_NAME}_fuzzer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    # New inputs go to a scratch folder emptied before each run: the source
    # corpus stays as it is, and every run starts from the same inputs.
    add_test(NAME fuzz.${A_NAME}.run
      COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/fuzz_run.sh fuzz ${A_NAME} ${A_MIN_COVERAGE}
        ${CMAKE_BINARY_DIR}/fuzz/${A_NAME}.new ${A_CORPUS}
        $<TARGET_FILE:${A_NAME}_fuzzer> -seed=1 -runs=5000 -max_total_time=120 -print_final_stats=1
        -rss_limit_mb=${A_RSS_LIMIT_MB} -malloc_limit_mb=${A_MALLOC_LIMIT_MB})
    set_tests_properties(fuzz.${A_NAME}.run PROPERTIES LABELS libfuzzer TIMEOUT 300)
    if(NOT TARGET kv_fuzzers)
      add_custom_target(kv_fuzzers)
    endif()
    add_dependencies(kv_fuzzers ${A_NAME}_fuzzer)
  else()
    add_executable(${A_NAME}_replay ${A_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/FuzzReplay.cpp)
    target_link_libraries(${A_NAME}_replay PRIVATE ${A_LIBS})
    set_target_properties(${A_NAME}_replay PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME fuzz.${A_NAME}.replay
      COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/fuzz_run.sh replay ${A_NAME} ${A_CORPUS} $<TARGET_FILE:${A_NAME}_replay>)
    set_tests_properties(fuzz.${A_NAME}.replay PROPERTIES LABELS fuzz TIMEOUT 300)
  endif()
endfunction()

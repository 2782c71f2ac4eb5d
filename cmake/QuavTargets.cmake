# Helpers that keep the per-folder CMakeLists short.

# quav_add_library(name SOURCES ... [DEPS ...])
# One static library per src/ folder; its folder is the include root ("bus/I2cMaster.h").
function(quav_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC quav_options ${ARG_DEPS})
endfunction()

# quav_add_test(name SOURCES ... [DEPS ...] [ENVIRONMENT ...] [LABELS ...])
# One GoogleTest executable per module, registered with ctest as one test.
function(quav_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;ENVIRONMENT;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE quav_options quav_test_support ${ARG_DEPS} GTest::gmock
                                          GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set(env "QT_QPA_PLATFORM=offscreen" "QUAV_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
    list(APPEND env ${ARG_ENVIRONMENT})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
    if(ARG_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
endfunction()

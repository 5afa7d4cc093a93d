# velmora_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>])
#
# One QtTest executable per tested class, registered with CTest. Every test runs with the
# offscreen platform and in a working folder of its own, because the system writes log/ and
# flow/ relative to the working folder.
function(velmora_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
    set(workdir ${CMAKE_CURRENT_BINARY_DIR}/${name}.work)
    file(MAKE_DIRECTORY ${workdir})
    add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${workdir})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    velmora_test_environment(env)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}")
endfunction()

# velmora_test_environment(<out-var>): the environment every test process runs with.
function(velmora_test_environment out)
    set(env "QT_QPA_PLATFORM=offscreen" "LC_ALL=C.UTF-8")
    set(supp ${PROJECT_SOURCE_DIR}/tests)
    if(VELMORA_SANITIZE MATCHES "thread")
        # Qt hands data between its own threads (network, D-Bus) through uninstrumented code;
        # ignoring accesses made inside such modules keeps every access of ours checked.
        list(APPEND env "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=${supp}/tsan.supp")
    elseif(VELMORA_SANITIZE)
        list(APPEND env "ASAN_OPTIONS=detect_leaks=1"
            "LSAN_OPTIONS=suppressions=${supp}/lsan.supp print_suppressions=0"
            "UBSAN_OPTIONS=print_stacktrace=1 halt_on_error=1")
    endif()
    set(${out} "${env}" PARENT_SCOPE)
endfunction()

# effectdemo_add_test(NAME SOURCES a.cpp... [LIBS libs...] [LABELS labels...]
#                     [TIMEOUT seconds] [ENVIRONMENT VAR=value...])
#
# One QtTest executable registered with CTest. Tests run under an X server
# (xvfb-run in scripts/test.sh) with Mesa's software OpenGL.
# Label "asan" puts a test into the AddressSanitizer/UBSan stage of
# scripts/test.sh, label "tsan" into the ThreadSanitizer stage; those stages
# build only the targets carrying the label (targets sanitizer_asan and
# sanitizer_tsan).
set_property(GLOBAL PROPERTY EFFECTDEMO_ASAN_TARGETS "")
set_property(GLOBAL PROPERTY EFFECTDEMO_TSAN_TARGETS "")

function(effectdemo_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
    add_dependencies(${name} runtime_data)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        LABELS "${T_LABELS}"
        TIMEOUT ${T_TIMEOUT}
        WORKING_DIRECTORY ${EFFECTDEMO_RUNTIME_DIR}
        ENVIRONMENT "LIBGL_ALWAYS_SOFTWARE=1;GALLIUM_DRIVER=llvmpipe;QT_LOGGING_RULES=qt.qpa.*=false;${T_ENVIRONMENT}")
    effectdemo_register_sanitizer_target(${name} "${T_LABELS}")
endfunction()

# For test executables made without effectdemo_add_test (plain add_test).
function(effectdemo_register_sanitizer_target target labels)
    if("asan" IN_LIST labels)
        set_property(GLOBAL APPEND PROPERTY EFFECTDEMO_ASAN_TARGETS ${target})
    endif()
    if("tsan" IN_LIST labels)
        set_property(GLOBAL APPEND PROPERTY EFFECTDEMO_TSAN_TARGETS ${target})
    endif()
endfunction()

function(effectdemo_finish_test_groups)
    foreach(kind asan tsan)
        string(TOUPPER ${kind} upper)
        get_property(targets GLOBAL PROPERTY EFFECTDEMO_${upper}_TARGETS)
        add_custom_target(sanitizer_${kind})
        if(targets)
            add_dependencies(sanitizer_${kind} ${targets})
        endif()
    endforeach()
endfunction()

# orvane_add_test(<name> SOURCES ... LIBRARIES ... [LABELS ...] [ENVIRONMENT ...] [TIMEOUT s])
#
# One QtTest executable registered with CTest. Unit tests run on the offscreen
# platform; tests labelled "desktop" run through scripts/desktop-session, which
# brings an X server, a window manager and a session bus when the caller has none.
function(orvane_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBRARIES;LABELS;ENVIRONMENT" ${ARGN})
    if(NOT ORVANE_BUILD_TESTS)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE orvane_common Qt6::Test ${ARG_LIBRARIES})
    # Tests are full of literal expectations: let them use plain string literals.
    target_compile_options(${name} PRIVATE -UQT_NO_CAST_FROM_ASCII)
    if("desktop" IN_LIST ARG_LABELS)
        add_test(NAME ${name}
                 COMMAND ${PROJECT_SOURCE_DIR}/scripts/desktop-session $<TARGET_FILE:${name}>)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    set(env ${ARG_ENVIRONMENT})
    if(NOT "desktop" IN_LIST ARG_LABELS)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "${env}"
        LABELS "${ARG_LABELS}"
        TIMEOUT ${ARG_TIMEOUT})
    if("desktop" IN_LIST ARG_LABELS)
        # One X server for all: desktop tests take turns.
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK x_display)
    endif()
endfunction()

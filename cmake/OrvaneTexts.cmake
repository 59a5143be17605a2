# orvane_add_texts(<target> <ts file>)
#
# Compiles an id-based translation file into target's resources under :/i18n, where
# orvane installs every catalogue it finds at start.
function(orvane_add_texts target ts_file)
    qt_add_lrelease(${target} TS_FILES ${ts_file} OPTIONS -idbased
                    QM_FILES_OUTPUT_VARIABLE qm_files)
    qt_add_resources(${target} ${target}_texts
        PREFIX /i18n BASE ${CMAKE_CURRENT_BINARY_DIR} FILES ${qm_files})
endfunction()

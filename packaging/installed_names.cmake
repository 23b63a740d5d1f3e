# Run by cmake --install (and so by CPack): writes the files that name where this installation put a
# program, since cmake --install --prefix and the packages choose the prefix only now. Set beforehand:
# TAVC_ACTIVATION_TOOL (tavc-activation-file), TAVC_AGENT and TAVC_TAVCCLT (the programs' paths below the
# prefix), TAVC_DATADIR, TAVC_DESKTOP_IN (the desktop entry's template) and TAVC_MADE (a scratch folder).
set(prefix "${CMAKE_INSTALL_PREFIX}")
file(REMOVE_RECURSE "${TAVC_MADE}")

# The session bus's activation file of the agent, for every user.
execute_process(COMMAND "${TAVC_ACTIVATION_TOOL}" "${TAVC_MADE}/services" "${prefix}/${TAVC_AGENT}"
    RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "tavc-activation-file could not write the agent's activation file")
endif()
file(GLOB service "${TAVC_MADE}/services/*.service")
file(INSTALL DESTINATION "${prefix}/${TAVC_DATADIR}/dbus-1/services" TYPE FILE FILES ${service})

# The menu entry of tavcclt; Exec quoted as the desktop entry specification quotes an argument: % doubled,
# and in double quotes each of " ` $ \ after a backslash, which the file's own escaping doubles.
set(TAVCCLT_EXEC "${prefix}/${TAVC_TAVCCLT}")
string(REPLACE "%" "%%" TAVCCLT_EXEC "${TAVCCLT_EXEC}")
if(NOT TAVCCLT_EXEC MATCHES "^[A-Za-z0-9/._+%-]+$")
    string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\\\\\1" TAVCCLT_EXEC "${TAVCCLT_EXEC}")
    set(TAVCCLT_EXEC "\"${TAVCCLT_EXEC}\"")
endif()
configure_file("${TAVC_DESKTOP_IN}" "${TAVC_MADE}/tavcclt.desktop" @ONLY)
file(INSTALL DESTINATION "${prefix}/${TAVC_DATADIR}/applications" TYPE FILE FILES "${TAVC_MADE}/tavcclt.desktop")

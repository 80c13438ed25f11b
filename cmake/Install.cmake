# How Kestrelwatch installs: programs, data, desktop integration, man pages, the service unit, the helper's
# group and file capabilities, and the Debian package.

# --- what is installed, beside the programs and data that each folder installs itself
set(KW_LIBEXEC_DIR libexec/kestrelwatch) # the monitor looks for its helper here, as ../libexec/kestrelwatch
# 0750: only root and the group kestrelwatch (given to it below, or by the package's postinst) may run it.
install(TARGETS kestrelwatch-helper RUNTIME DESTINATION ${KW_LIBEXEC_DIR}
        PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
install(FILES ${CMAKE_SOURCE_DIR}/share/kestrelwatch.metainfo.xml
        DESTINATION share/metainfo RENAME org.brackmoor.kestrelwatch.metainfo.xml)
install(FILES ${CMAKE_SOURCE_DIR}/share/icons/kestrelwatch.svg DESTINATION share/icons/hicolor/scalable/apps)
# Man pages are installed gzip-compressed, as Debian's policy asks; -n keeps the name and time out of the
# archive so that two builds give the same bytes. A new page is one more name in KW_MAN_PAGES.
set(KW_MAN_PAGES kestrelwatch.1 kestrelwatch-headless.1 kestrelwatch-reg.1 kestrelwatch-ctl.1)
find_program(KW_GZIP gzip REQUIRED)
set(kw_man_outputs)
foreach(page ${KW_MAN_PAGES})
    set(kw_man_out "${CMAKE_BINARY_DIR}/man/${page}.gz")
    add_custom_command(
        OUTPUT "${kw_man_out}"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/man"
        COMMAND ${KW_GZIP} -9nc "${CMAKE_SOURCE_DIR}/share/man/${page}" > "${kw_man_out}"
        DEPENDS "${CMAKE_SOURCE_DIR}/share/man/${page}"
        COMMENT "Compressing the man page ${page}")
    list(APPEND kw_man_outputs "${kw_man_out}")
endforeach()
add_custom_target(kw_man_pages ALL DEPENDS ${kw_man_outputs})
install(FILES ${kw_man_outputs} DESTINATION share/man/man1)
# The package's licence statement, in Debian's machine-readable form.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/kestrelwatch)
install(FILES ${CMAKE_SOURCE_DIR}/share/systemd/kestrelwatch.sysusers
        DESTINATION lib/sysusers.d RENAME kestrelwatch.conf)
# The service units name the installed programs, so they are written at install time, for the prefix in use
# then (a package's /usr as well as a local /usr/local): the monitor's, and its helper's own unit, started per
# connection to the helper's socket.
install(FILES ${CMAKE_SOURCE_DIR}/share/systemd/kestrelwatch-helper.socket DESTINATION lib/systemd/system)
foreach(kw_unit_name kestrelwatch.service kestrelwatch-helper@.service)
    set(kw_unit_code [[
        set(kw_unit "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/systemd/system/@KW_UNIT_NAME@")
        file(READ "@KW_UNIT_TEMPLATE@" kw_text)
        string(REPLACE "@KW_INSTALL_BIN@" "${CMAKE_INSTALL_PREFIX}/bin" kw_text "${kw_text}")
        string(REPLACE "@KW_INSTALL_LIBEXEC@" "${CMAKE_INSTALL_PREFIX}/libexec/kestrelwatch" kw_text "${kw_text}")
        file(WRITE "${kw_unit}" "${kw_text}")
        message(STATUS "Installing: ${kw_unit}")
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${kw_unit}")
    ]])
    string(REPLACE "@KW_UNIT_TEMPLATE@" "${CMAKE_SOURCE_DIR}/share/systemd/${kw_unit_name}.in" kw_unit_code
           "${kw_unit_code}")
    string(REPLACE "@KW_UNIT_NAME@" "${kw_unit_name}" kw_unit_code "${kw_unit_code}")
    install(CODE "${kw_unit_code}")
endforeach()
# A plain install run as root gives the helper to the group kestrelwatch (made when missing) and its
# capabilities at once, and says so; anything else says why not. A package build leaves both to the package's
# postinst (file capabilities do not survive packing). Only the group's members may run the helper, as only the
# members of Wireshark's capture group may run dumpcap.
install(CODE [[
    set(kw_helper "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/libexec/kestrelwatch/kestrelwatch-helper")
    set(kw_fix "sudo setcap cap_net_raw,cap_net_admin=ep ${CMAKE_INSTALL_PREFIX}/libexec/kestrelwatch/kestrelwatch-helper")
    find_program(kw_setcap setcap PATHS /usr/sbin /sbin)
    find_program(kw_groupadd groupadd PATHS /usr/sbin /sbin)
    execute_process(COMMAND id -u OUTPUT_VARIABLE kw_uid OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(kw_uid STREQUAL "0" AND ("$ENV{DESTDIR}" STREQUAL ""))
        execute_process(COMMAND getent group kestrelwatch RESULT_VARIABLE kw_rc OUTPUT_QUIET)
        if(NOT kw_rc EQUAL 0 AND kw_groupadd)
            execute_process(COMMAND ${kw_groupadd} --system kestrelwatch)
        endif()
        execute_process(COMMAND chown root:kestrelwatch "${kw_helper}" RESULT_VARIABLE kw_rc ERROR_VARIABLE kw_err)
        if(kw_rc EQUAL 0)
            message(STATUS "Group: ${kw_helper} is 0750 root:kestrelwatch; let a user run it with: sudo usermod -aG kestrelwatch USER (then log in again)")
        else()
            message(STATUS "Group: the helper could not be given to the group kestrelwatch (${kw_err}); run: sudo groupadd --system kestrelwatch && sudo chown root:kestrelwatch ${kw_helper}")
        endif()
    endif()
    if(DEFINED ENV{DESTDIR} AND NOT "$ENV{DESTDIR}" STREQUAL "")
        message(STATUS "Capabilities: not set in a staging folder (DESTDIR); after copying run: ${kw_fix}")
    elseif(NOT kw_uid STREQUAL "0")
        message(STATUS "Capabilities: not set, this install does not run as root; to sweep, run: ${kw_fix}")
    elseif(NOT kw_setcap)
        message(STATUS "Capabilities: not set, setcap is missing (apt-get install libcap2-bin); then run: ${kw_fix}")
    else()
        execute_process(COMMAND ${kw_setcap} cap_net_raw,cap_net_admin=ep "${kw_helper}" RESULT_VARIABLE kw_rc
                        ERROR_VARIABLE kw_err)
        if(kw_rc EQUAL 0)
            message(STATUS "Capabilities: cap_net_raw,cap_net_admin=ep set on ${kw_helper} (the only file that has them)")
        else()
            message(STATUS "Capabilities: setcap failed (${kw_err}); run: ${kw_fix}")
        endif()
    endif()
]])

# --- the Debian package: cpack -G DEB in the build folder, after the build (packing builds nothing itself,
# so the tests and benchmarks of a full tree are not rebuilt for it)
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME kestrelwatch)
set(CPACK_PACKAGE_VENDOR Brackmoor)
set(CPACK_PACKAGE_CONTACT "Kestrelwatch maintainers <kestrelwatch@brackmoor.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "network intruder monitor for the notification area")
set(CPACK_PACKAGE_DESCRIPTION "Kestrelwatch sweeps the local IPv4 ranges so that every attached device answers ARP,
knows each device by its MAC address and warns of the ones it has not seen before.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.brackmoor.org/kestrelwatch/")
# Library dependencies from the binaries (dpkg-shlibdeps); setcap for the postinst; ieee-data is read at
# build time only.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/postinst ${CMAKE_SOURCE_DIR}/packaging/prerm ${CMAKE_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)

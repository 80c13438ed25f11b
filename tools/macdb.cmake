# The MAC vendor files, generated from Debian's ieee-data listings into the build tree's share folder and
# installed beside the other read-only data. Without ieee-data the generator writes placeholder-only files.
add_executable(kw-gen-macdb gen-macdb.cpp)
target_link_libraries(kw-gen-macdb PRIVATE Qt6::Core)

set(KW_IEEE_DATA_DIR /usr/share/ieee-data CACHE PATH
    "Folder holding the IEEE oui.txt, iab.txt, mam.txt and oui36.txt listings")
set(kw_macdb_dir "${KW_SHARE_DIR}/Mac Database")
set(kw_macdb_files)
foreach(base oui iab mam mas)
    list(APPEND kw_macdb_files "${kw_macdb_dir}/${base}.idx" "${kw_macdb_dir}/${base}.db")
endforeach()
set(kw_macdb_listings oui.txt iab.txt mam.txt oui36.txt)
set(kw_macdb_inputs)
foreach(listing ${kw_macdb_listings})
    if(EXISTS "${KW_IEEE_DATA_DIR}/${listing}")
        list(APPEND kw_macdb_inputs "${KW_IEEE_DATA_DIR}/${listing}")
    endif()
endforeach()

add_custom_command(
    OUTPUT ${kw_macdb_files}
    COMMAND ${CMAKE_COMMAND} -E make_directory "${kw_macdb_dir}"
    COMMAND kw-gen-macdb "${KW_IEEE_DATA_DIR}/oui.txt" "${KW_IEEE_DATA_DIR}/iab.txt" "${KW_IEEE_DATA_DIR}/mam.txt"
            "${KW_IEEE_DATA_DIR}/oui36.txt" "${kw_macdb_dir}"
    DEPENDS kw-gen-macdb ${kw_macdb_inputs}
    COMMENT "Generating the MAC vendor files"
    VERBATIM)
add_custom_target(kw_macdb ALL DEPENDS ${kw_macdb_files})
install(FILES ${kw_macdb_files} DESTINATION "share/kestrelwatch/Mac Database")

# The alert and button sounds, synthesised at build time into the build tree's share folder and installed
# beside the other read-only data.
add_executable(kw-gen-sounds gen-sounds.cpp)

set(kw_sounds_dir "${KW_SHARE_DIR}/Sounds")
set(kw_sound_files)
foreach(name Button_Over Button_Click New_Intruder Intruder_Online Intruder_Still_Online)
    list(APPEND kw_sound_files "${kw_sounds_dir}/${name}.wav")
endforeach()

add_custom_command(
    OUTPUT ${kw_sound_files}
    COMMAND kw-gen-sounds "${kw_sounds_dir}"
    DEPENDS kw-gen-sounds
    COMMENT "Generating the sounds"
    VERBATIM)
add_custom_target(kw_sounds ALL DEPENDS ${kw_sound_files})
install(FILES ${kw_sound_files} DESTINATION share/kestrelwatch/Sounds)

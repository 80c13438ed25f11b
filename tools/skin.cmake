# The window's skin (bitmaps at 1x and 2x) and the application and tray icons, drawn at build time into the
# build tree's share folder and installed from there. The generator lists what it writes (--list); a stamp
# stands for the whole set.
find_package(Qt6 6.4 REQUIRED COMPONENTS Gui)
add_executable(kw-gen-skin
    gen-skin.cpp gen-skin.h
    gen-skin-catalogue.cpp
    gen-skin-controls.cpp
    gen-skin-paint.cpp
    gen-skin-rows.cpp
    gen-skin-sheet.cpp
    gen-skin-window.cpp)
target_link_libraries(kw-gen-skin PRIVATE Qt6::Gui)

set(kw_skin_stamp ${CMAKE_CURRENT_BINARY_DIR}/kw_skin.stamp)
add_custom_command(
    OUTPUT ${kw_skin_stamp}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:kw-gen-skin> "${KW_SHARE_DIR}"
    COMMAND ${CMAKE_COMMAND} -E touch ${kw_skin_stamp}
    DEPENDS kw-gen-skin
    COMMENT "Drawing the skin and the icons"
    VERBATIM)
add_custom_target(kw_skin ALL DEPENDS ${kw_skin_stamp})

# A page with every picture on it, built only on request: ninja kw_skin_sheet.
add_custom_target(kw_skin_sheet
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:kw-gen-skin>
            --contact-sheet ${CMAKE_BINARY_DIR}/skin-contact-sheet.png
    DEPENDS kw-gen-skin
    COMMENT "Drawing the skin's contact sheet into ${CMAKE_BINARY_DIR}/skin-contact-sheet.png"
    VERBATIM)

install(DIRECTORY "${KW_SHARE_DIR}/Images/" DESTINATION share/kestrelwatch/Images FILES_MATCHING PATTERN "*.bmp")
install(DIRECTORY "${KW_SHARE_DIR}/icons/" DESTINATION share/kestrelwatch/icons FILES_MATCHING PATTERN "*.png")
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES "${KW_SHARE_DIR}/icons/hicolor/${size}x${size}/apps/kestrelwatch.png"
            DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()

# How test code compiles. Three fifths of a cold build were the test executables at -O2, each reading Qt's
# headers anew; the code under test is the production libraries, which keep their flags.
# - Test code (the tests and their support libraries) compiles at -Og: a third of the time -O2 takes, with
#   the warnings that need the optimizer's flow analysis still on.
# - In a unity tree the tests read Qt's modules from one precompiled header per kind of test (one for those
#   without a window, one for those with QtWidgets), made once by a support library and reused by every test
#   of its kind. A tree that compiles each source alone (the clang tree) precompiles nothing, so that a test
#   lacking an include fails there. ccache caches such compiles only with the sloppiness set below.
option(KW_TEST_PCH "Tests of a unity tree read Qt's modules from a precompiled header" ON)

# GCC takes a precompiled header only where every macro it looked at is defined alike; Qt's test macros
# would carry each test folder's path into every compile (no test uses QFINDTESTDATA), so those are one
# value for all.
function(kw_test_flags target)
    target_compile_options(${target} PRIVATE -Og)
    set_target_properties(${target} PROPERTIES QT_TESTCASE_BUILDDIR ${CMAKE_BINARY_DIR})
    if(CMAKE_UNITY_BUILD AND KW_TEST_PCH)
        target_compile_options(${target} PRIVATE -UQT_TESTCASE_SOURCEDIR)
        if(KW_CCACHE)
            set_target_properties(${target} PROPERTIES
                CXX_COMPILER_LAUNCHER "env;CCACHE_SLOPPINESS=pch_defines,time_macros;${KW_CCACHE}")
        endif()
    endif()
endfunction()

# Sets out to the Qt modules target links, directly or through the libraries it links (Qt6::Core;Qt6::Test...).
function(kw_qt_modules target out)
    set(todo ${target})
    set(done)
    while(todo)
        list(POP_FRONT todo t)
        if(t IN_LIST done OR NOT TARGET ${t})
            continue()
        endif()
        list(APPEND done ${t})
        get_target_property(type ${t} TYPE)
        set(links)
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
            get_target_property(links ${t} LINK_LIBRARIES)
        endif()
        get_target_property(interface ${t} INTERFACE_LINK_LIBRARIES)
        foreach(l ${links} ${interface})
            if(l AND NOT l MATCHES "NOTFOUND$" AND NOT l MATCHES "^\\$<")
                list(APPEND todo ${l})
            endif()
        endforeach()
    endwhile()
    list(FILTER done INCLUDE REGEX "^Qt6::")
    set(${out} ${done} PARENT_SCOPE)
endfunction()

# A test includes its moc output in its source, which leaves the target's moc file all but empty: loading the
# precompiled header there would cost more than compiling it.
function(kw_moc_without_pch target)
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/mocs_compilation.cpp
        PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
endfunction()

# A support library that makes a precompiled header for the tests: Qt's core modules, and the window's when
# it links them. A test reuses it when it links every Qt module the library links (each module defines a
# macro, and GCC refuses a header made with a macro the test lacks) and links Qt Gui exactly when the library
# does (Qt Test's headers read QT_GUI_LIB and QT_WIDGETS_LIB).
function(kw_test_pch_owner target)
    kw_test_flags(${target})
    if(NOT CMAKE_UNITY_BUILD OR NOT KW_TEST_PCH)
        return()
    endif()
    kw_qt_modules(${target} modules)
    set(headers <QtCore> <QtNetwork> <QtTest>)
    if("Qt6::Widgets" IN_LIST modules)
        list(APPEND headers <QtGui> <QtWidgets>)
    endif()
    target_precompile_headers(${target} PRIVATE ${headers})
    kw_moc_without_pch(${target})
    set_property(GLOBAL APPEND PROPERTY KW_TEST_PCH_OWNERS ${target})
    set_property(GLOBAL PROPERTY KW_TEST_PCH_MODULES_${target} ${modules})
endfunction()

# Test code: -Og, and a support library's precompiled header when one fits.
function(kw_test_code target)
    kw_test_flags(${target})
    if(NOT CMAKE_UNITY_BUILD OR NOT KW_TEST_PCH)
        return()
    endif()
    kw_qt_modules(${target} modules)
    if(NOT "Qt6::Test" IN_LIST modules)
        return()
    endif()
    get_property(owners GLOBAL PROPERTY KW_TEST_PCH_OWNERS)
    foreach(owner ${owners})
        get_property(needed GLOBAL PROPERTY KW_TEST_PCH_MODULES_${owner})
        set(missing ${needed})
        list(REMOVE_ITEM missing ${modules})
        set(gui OFF)
        set(ownerGui OFF)
        if("Qt6::Gui" IN_LIST modules)
            set(gui ON)
        endif()
        if("Qt6::Gui" IN_LIST needed)
            set(ownerGui ON)
        endif()
        if(NOT missing AND gui STREQUAL ownerGui)
            target_precompile_headers(${target} REUSE_FROM ${owner})
            kw_moc_without_pch(${target})
            return()
        endif()
    endforeach()
endfunction()

# Sourced by build.sh and test.sh: the one configuration of the main tree (build/, KW_BUILD_DIR to change
# it). Both scripts configure it alike, so test.sh after build.sh compiles only the tests and benchmarks and
# reuses every object build.sh made; build.sh then builds only the programs and their data (kw_programs).
# A unity build (one compile per few sources of a folder) reads Qt's headers a third as often, which halves
# a first build; debug information is line tables only (-g1): backtraces and sanitizer reports keep their
# files and lines, and each compile takes a fifth less time than with full information.
build=${KW_BUILD_DIR:-build}
# CI (CI=true) compiles the window's sources one by one: the clang tree, where every other source compiles
# alone so that a unity batch cannot hide an include a source lacks, leaves the window out.
configure_main_tree() {
    local gui_unity=ON
    [ "${CI:-}" != true ] || gui_unity=OFF
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_UNITY_BUILD=ON -DKW_WERROR=ON \
        -DKW_BUILD_TESTS=ON -DKW_BUILD_BENCH=ON -DKW_GUI_UNITY=$gui_unity "$@"
}

# Sourced by test.sh, sanitize.sh and fuzz.sh: the one clang tree with AddressSanitizer and
# UndefinedBehaviorSanitizer that they share (-DKW_FUZZ=ON brings the sanitizers). The window, the benchmarks
# and the tests outside the unit label are left out, and the tree is built at -O1 with line tables only: the
# sanitizers need no more, and it builds in far less time than -O2 with full debug information on a two-core
# CI machine. It is not a unity build: here every source compiles alone, so an include a source lacks fails
# here even when the main tree's unity batches hide it behind another source's (the window's folders, which
# this tree leaves out, compile alone in the main tree under CI: KW_GUI_UNITY in configure.sh).
build=${KW_CLANG_DIR:-build-clang}
configure_clang_tree() {
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" -DKW_FUZZ=ON -DKW_WERROR=ON \
        -DCMAKE_UNITY_BUILD=OFF -DKW_BUILD_GUI=OFF -DKW_BUILD_BENCH=OFF -DKW_UNIT_TESTS_ONLY=ON "$@" >/dev/null
}

# cmake -DEXE=<test executable> -DCASES=<f1;f2;...> -P CheckCases.cmake
# Fails when the executable has a test function that kw_add_test's CASES list leaves out (it would never run),
# or when the list names one the executable lacks.
execute_process(COMMAND ${EXE} -functions OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${EXE} -functions exited with ${rc}")
endif()
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\\(\\)" found "${out}")
list(TRANSFORM found REPLACE "\\(\\)$" "")
list(SORT found)
set(listed ${CASES})
list(SORT listed)
if(NOT found STREQUAL listed)
    message(FATAL_ERROR "${EXE} has the test functions '${found}', CASES lists '${listed}': make them the same")
endif()
message(STATUS "${EXE}: every test function runs as a test of its own")

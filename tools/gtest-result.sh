# shellcheck shell=bash disable=SC2034
# Sourced: the verdict on one run of a GoogleTest executable, from its standard output (with
# Windows line ends or not) and its exit status.
# gtest_result OUTPUT_FILE EXIT_STATUS LIMIT_SECONDS sets
#   gtest_ok     1 when the program exited 0 and GoogleTest ran at least one test and
#                reported every test it ran as passed (Wine can exit 0 without running a
#                program at all), else 0;
#   gtest_tests  the number of tests run (0 when GoogleTest reported no run);
#   gtest_line   "21 tests from 2 suites passed", or why the run failed.
gtest_result() {
    local file=$1 rc=$2 limit=$3 ran passed suites of
    ran=$(tr -d '\r' <"$file" |
        sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from \([0-9]*\) test suites\{0,1\} ran\..*/\1 \2/p' | tail -n 1)
    passed=$(tr -d '\r' <"$file" | sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\.$/\1/p' | tail -n 1)
    gtest_tests=${ran% *}
    gtest_tests=${gtest_tests:-0}
    suites=${ran#* }
    gtest_ok=0
    if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
        gtest_line="no end within $limit s"
    elif [ -z "$ran" ]; then
        gtest_line="exit $rc, GoogleTest reported no run"
    elif [ "$gtest_tests" -eq 0 ]; then
        gtest_line="exit $rc, GoogleTest ran no test"
    elif [ "$rc" -ne 0 ] || [ "$passed" != "$gtest_tests" ]; then
        gtest_line="exit $rc, ${passed:-0} of $gtest_tests tests passed"
    else
        gtest_ok=1
        [ "$suites" = 1 ] && of="1 suite" || of="$suites suites"
        [ "$gtest_tests" = 1 ] && gtest_line="1 test from $of passed" ||
            gtest_line="$gtest_tests tests from $of passed"
    fi
}

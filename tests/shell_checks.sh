# Counters and checks shared by the shell tests. Source it, run checks, then end with
# `checks_done NAME`, which prints the counts and returns non-zero when any check failed.
passed=0
failed=0

ok() { passed=$((passed + 1)); }
bad() { failed=$((failed + 1)); echo "FAILED: $*"; }
expect_eq() { # expected, actual, what
    if [ "$1" = "$2" ]; then ok; else bad "$3: \"$2\", expected \"$1\""; fi
}
expect_status() { # expected, actual, what
    if [ "$1" = "$2" ]; then ok; else bad "$3: status $2, expected $1"; fi
}
expect_same() { # file1 file2 what
    if cmp -s "$1" "$2"; then ok; else bad "$3"; diff "$1" "$2" | head -10; fi
}
expect_grep() { # pattern file what
    if grep -q -- "$1" "$2"; then ok; else bad "$3: no \"$1\" in:"; head -20 "$2"; fi
}
checks_done() { # name
    echo "${1:+$1: }$passed passed, $failed failed"
    [ "$failed" = 0 ]
}

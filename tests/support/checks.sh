# The shell tests' verdicts, one line each, as test.sh counts them: "PASS:
# name", or what went wrong and then "FAIL: name". A test sources this, runs
# its checks and ends with checks_done, whose status is 1 when one failed.
failures=0

# check NAME COMMAND...: the command's success is the verdict; what it
# printed is shown only when it failed.
check() {
  local name=$1 output
  shift
  if output=$("$@" 2>&1); then
    echo "PASS: $name"
  else
    [[ -z $output ]] || printf '%s\n' "$output"
    echo "FAIL: $name"
    failures=$((failures + 1))
  fi
}

# verdict NAME PROBLEMS: passed when PROBLEMS is empty, else they are shown.
verdict() {
  if [[ -z $2 ]]; then
    echo "PASS: $1"
  else
    printf '%s\n' "$2"
    echo "FAIL: $1"
    failures=$((failures + 1))
  fi
}

# For a check that finds several things wrong at once: problem TEXT notes
# one, judged NAME gives the verdict on those noted since the last verdict.
problems=
problem() { problems+="${problems:+$'\n'}$*"; }
judged() {
  verdict "$1" "$problems"
  problems=
}

checks_done() { ((failures == 0)); }

#!/usr/bin/env bash
# Checks the bash completion of tarvel-update as bash-completion's own tests check theirs: a
# command line is put into COMP_WORDS and COMP_CWORD, the completion function is called, and
# COMPREPLY, sorted, must be the expected words.
#
#   packaging/test-completion.sh [FILE]    the completion script to source (default: the one
#                                          beside this script)
#   packaging/test-completion.sh --installed
#                                          loads it as bash-completion does when tarvel-update
#                                          is first completed (the package bash-completion and
#                                          the installed file are needed)
set -euo pipefail
export LC_ALL=C  # the order of sort

fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "${1:-}" = --installed ]; then
  # bash-completion's main script reads unset variables and returns non-zero in places.
  set +eu
  # shellcheck disable=SC1091
  source /usr/share/bash-completion/bash_completion
  __load_completion tarvel-update || fail "bash-completion finds no completion for tarvel-update"
  set -eu
else
  # shellcheck disable=SC1090
  source "${1:-$(dirname "$0")/tarvel-update.bash-completion}"
fi
[ "$(complete -p tarvel-update)" = "complete -F _tarvel_update tarvel-update" ] \
  || fail "tarvel-update is completed by: $(complete -p tarvel-update)"

# A folder of its own for the files and the devices.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/files/images" "$work/dev/serial/by-id"
touch "$work/files/DVB-SAT-1.bin" "$work/files/wire.txt" "$work/dev/ttyS0" "$work/dev/ttyUSB0" \
  "$work/dev/ttyACM0" "$work/dev/serial/by-id/usb-FTDI_FT232R-if00-port0" "$work/dev/null"
_tarvel_update_dev=$work/dev
cd "$work/files"

dev=$work/dev
coms="COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9"
devices="$dev/serial/by-id/usb-FTDI_FT232R-if00-port0 $dev/ttyACM0 $dev/ttyS0 $dev/ttyUSB0"
# The line as typed up to the cursor, "|", and the completions expected, sorted.
cases=(
  "tarvel-update |comtest history inspect report station update"
  "tarvel-update report --by s|station station,day"
  "tarvel-update station --port COM1 --|--folder --help --json --port --repeat --timeout"
  "tarvel-update history --outcome un|unfinished"
  "tarvel-update history --outcome fa|failed"
  "tarvel-update up|update"
  "tarvel-update -|--help --version"
  "tarvel-update update |--allow-older-release --folder --help --json --next-module --no-log --port --prefix-port --switch-wait --timeout --transcript"
  "tarvel-update update --p|--port --prefix-port"
  "tarvel-update comtest --port COM1 --|--help --json --no-log --prefix-port --transcript"
  "tarvel-update update --port COM1 --timeout 60 --no-log --t|--transcript"
  "tarvel-update update --switch-wait |"
  "tarvel-update history --json --|--help --kind --last --local --no-header --outcome --pending --port --since --station --until --upgrade-line --wide"
  "tarvel-update history --csv --j|"
  "tarvel-update history --station |"
  "tarvel-update history --kind |comtest update"
  "tarvel-update history --until y|yesterday"
  "tarvel-update update --port |$devices $coms"
  "tarvel-update update --port CO|$coms"
  "tarvel-update update --port $dev/ttyU|$dev/ttyUSB0"
  "tarvel-update comtest --port =|$devices $coms"
  "tarvel-update update --folder |images"
  "tarvel-update update --transcript w|wire.txt"
  "tarvel-update update --timeout |"
  "tarvel-update inspect |DVB-SAT-1.bin images wire.txt"
  "tarvel-update inspect D|DVB-SAT-1.bin"
  "tarvel-update inspect --|--help --json --kind"
  "tarvel-update inspect --kind |ack request"
  "tarvel-update inspect --json --kind a|ack"
)

failed=0
for case in "${cases[@]}"; do
  line=${case%%|*}
  expected=${case#*|}
  read -r -a COMP_WORDS <<<"$line"
  [[ $line == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMPREPLY=()
  # As in an interactive shell: without -e (compopt, for one, fails outside a completion).
  set +e
  _tarvel_update tarvel-update "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  set -e
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
  if [ "$got" != "$expected" ]; then
    echo "FAIL: '$line' completes to '$got', not '$expected'" >&2
    failed=$((failed + 1))
  fi
done
[ "$failed" = 0 ] || fail "$failed of ${#cases[@]} command lines"
echo "${#cases[@]} passed, 0 failed"

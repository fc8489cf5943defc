#!/usr/bin/env bash
# The commands of tessary-cfg as its --help names them, as its manual page's
# synopsis names them, and as its bash completion offers them: one list.
# Usage: cli-commands.sh TESSARY_CFG MANUAL_PAGE COMPLETION_SCRIPT
set -euo pipefail
tool=$1 manual=$2 completion=$3
from_help=$("$tool" --help | sed -n 's/^ *\(usage: \)\{0,1\}tessary-cfg \([a-z][a-z-]*\) .*/\2/p' | sort -u)
from_manual=$(sed -n 's/^\.B tessary\\-cfg \([a-z][a-z-]*\)$/\1/p' "$manual" | sort -u)
from_completion=$(sed -n 's/.*compgen -W "\([^"]*\)".*/\1/p' "$completion" | head -1 | tr ' ' '\n' | grep -v '^--' | sort -u)
status=0
for source in manual completion; do
  var=from_$source
  if [ "${!var}" != "$from_help" ]; then
    echo "the $source's commands differ from --help:"
    diff <(echo "$from_help") <(echo "${!var}") || true
    status=1
  fi
done
[ -n "$from_help" ] || { echo "no command found in --help"; status=1; }
[ $status -eq 0 ] && echo "cli commands: --help, the manual page and the completion agree ($(echo $from_help))"
exit $status

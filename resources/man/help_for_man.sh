#!/bin/sh
# Runs "PROGRAM --help" or "PROGRAM --version" for help2man; the usage lines
# that continue on indented lines are joined into one so that they all become
# the page's synopsis, and "usage:" is spelt as help2man expects.
#   help_for_man.sh PROGRAM --help|--version
set -eu
"$1" "$2" | awk '
  NR == 1 && sub(/^[Uu]sage: /, "Usage: ") { usage = $0; next }
  usage != "" && /^ +\[/ { sub(/^ +/, " "); usage = usage $0; next }
  usage != "" { print usage; usage = "" }
  { print }
  END { if (usage != "") print usage }'

# What the project's scripts share; scripts/, tests/scripts/ and bench/ source it:
#   source "$(dirname "$0")/lib/common.sh"              (from scripts/)
# It gives $project_root; say and die, which name the script that runs; configure, the one line
# that configures a build; stale, whether something must be made again.

project_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
script_name="${script_name:-$(basename "$0" .sh)}"

say() { echo "$script_name: $*"; }
die() { echo "$script_name: $*" >&2; exit 1; }

# configure BUILD [OPTION...]: a Release configuration of the project in BUILD, quietly. Later
# options win, so a sanitizer build passes -DCMAKE_BUILD_TYPE=Debug.
configure() {
  local build=$1
  shift
  cmake -S "$project_root" -B "$build" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

# stale TARGET INPUT...: true when TARGET is missing or older than any INPUT.
stale() {
  local target=$1 input
  shift
  [ -e "$target" ] || return 0
  for input in "$@"; do [ "$input" -nt "$target" ] && return 0; done
  return 1
}

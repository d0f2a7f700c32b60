#!/bin/sh
# The recovery CD's start on Linux: a desktop offers to run this file from the root of an inserted
# medium (and asks the user first). It starts the program on this same medium, wherever the
# medium is mounted and whatever the current folder is.
medium=$(dirname "$(readlink -f "$0")")
exec "$medium/AUTORUN/arkeven" "$@"

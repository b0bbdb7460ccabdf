#!/bin/sh
# Runs `qvminspect cpp` the way a gcc-style preprocessor is run:
#   ppwrap.sh QVMINSPECT [-DNAME[=VALUE]] [-IDIR] ... FILE
# -D and -I become -DEFINE= and -INCL=; other options are ignored.
inspect="$1"
shift
file=""
set -- "$@" --end--
while [ "$1" != "--end--" ]; do
    case "$1" in
        -D) set -- "$@" "-DEFINE=$2"; shift ;;
        -D*) set -- "$@" "-DEFINE=${1#-D}" ;;
        -I) set -- "$@" "-INCL=$2"; shift ;;
        -I*) set -- "$@" "-INCL=${1#-I}" ;;
        -*) ;;
        *) file="$1" ;;
    esac
    shift
done
shift
# The bare preprocessor: no host profile.
exec "$inspect" cpp "$file" -STD_DEFINE= "$@"

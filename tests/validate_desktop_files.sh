#!/bin/sh
# The desktop entry and the software-centre metainfo pass their validators
# with nothing to say.
# usage: validate_desktop_files.sh DESKTOP_FILE METAINFO_FILE
set -u
status=0
said=$(desktop-file-validate "$1" 2>&1) || status=1
if [ -n "$said" ]; then
    echo "desktop-file-validate $1:"
    echo "$said"
    status=1
fi
said=$(appstreamcli validate --no-net --pedantic --no-color "$2" 2>&1) || status=1
if printf '%s\n' "$said" | grep -Eq '^[EWIP]: '; then
    echo "appstreamcli validate $2:"
    echo "$said"
    status=1
fi
exit $status

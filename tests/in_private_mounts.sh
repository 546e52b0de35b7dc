#!/bin/sh
# Runs a command in a mount table of its own, or says that it was skipped
# when one can't be set up here: not root, no mount namespaces, or a chroot,
# where unshare can't change the root folder's propagation. The attempt
# comes first, so that whatever unshare says, the test skips.
if ! unshare --mount --propagation private true 2>/dev/null; then
    echo "[  SKIPPED ] a private mount namespace can't be set up here"
    exit 0
fi
exec unshare --mount --propagation private "$@"

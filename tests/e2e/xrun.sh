#!/usr/bin/env bash
# Runs one end-to-end test under an X server of its own. xvfb-run -a searches
# upwards from the given display number; starting each test at a random number
# keeps parallel tests from racing for the same display. -noreset: the server
# would otherwise reset whenever its last client leaves, and a program that
# starts during the reset finds no display. A test that needs another screen
# size names it in ORRIMUND_XVFB_SCREEN (WxHxDepth).
set -u
tmp="${ORRIMUND_TEST_TMP:-/tmp/orrimund-e2e-$$}"
rm -rf "$tmp"; mkdir -p "$tmp"
export ORRIMUND_TEST_TMP="$tmp"
export XDG_CONFIG_HOME="$tmp/config"
mkdir -p "$XDG_CONFIG_HOME"
exec xvfb-run -a -n $((200 + RANDOM % 3000)) -s "-screen 0 ${ORRIMUND_XVFB_SCREEN:-1280x1024x24} -nolisten tcp -noreset" "$@"

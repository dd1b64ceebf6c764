#!/usr/bin/env bash
# Runs a Windows program under Wine with our settings; CMake uses it to run the Windows tests.
source "$(dirname "$0")/wine-env.sh"
exec wine "$@"

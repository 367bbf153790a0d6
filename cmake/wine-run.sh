#!/bin/sh
# Runs a cross-compiled Windows program under Wine for the tests.
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-treskpro}"
exec wine "$@"

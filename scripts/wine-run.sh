#!/usr/bin/env bash
# Runs a Windows executable under Wine, quietly and without dialogs, in a
# prefix of the build directory (HALOVANE_WINEPREFIX, else
# build/wineprefix-ARCH beside this script's checkout). The loader and the
# arch come from scripts/wine-env.sh. Used as CTest's cross-compiling
# emulator and by scripts/speed.sh.
set -euo pipefail
# shellcheck source=scripts/wine-env.sh
source "$(dirname "$0")/wine-env.sh"
export WINEPREFIX=${HALOVANE_WINEPREFIX:-$halovane_root/build/wineprefix-$HALOVANE_WINE_ARCH}
HalovaneWinePrefix "$WINEPREFIX"
exec "$HALOVANE_WINE" "$@"

#!/usr/bin/env bash
# The job of the image's first boot: a fresh Wine prefix of each kind, both at once, made where the lab
# looks for its templates in the guest (/opt/zt4gac-wine), since wineboot takes minutes under emulation.
# shellcheck source=scripts/guest/wine-prefix.sh
source "$(dirname "$0")/wine-prefix.sh"
for kind in win32 win64; do
  (wine_use /opt/zt4gac-wine "$kind" && wine_make_prefix "/opt/zt4gac-wine/$kind-$(wine_version)" "$kind" &&
    echo "made the $kind prefix") &
done
wait -n && wait -n

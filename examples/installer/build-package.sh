#!/usr/bin/env bash
# Builds the example package with wixl and msitools (Debian: wixl, msitools).
#
#   examples/installer/build-package.sh DIR VERSION [x86|x64]
#
# DIR holds zt4gac.exe, and netf20_32/ and netf40_32/ with the four provider assemblies
# each; the package is written to DIR/zt4gac-example.msi. VERSION is the product version
# (raise it for every package you ship). x86 (the default) is for the shipped 32-bit tool;
# x64 for a 64-bit build of it, whose copy value must go to the 64-bit registry view.
#
# With the WiX toolset the .wxs is complete and none of this is needed. wixl 0.101 turns a
# rollback action (Execute="rollback") into an immediate one, which would run -u during
# every installation, and refuses exe actions from the Binary table. So wixl builds the
# package without them (-D Wixl=yes), and msibuild writes them in afterwards, as the .wxs
# declares them for the WiX toolset.
set -euo pipefail
source=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dir=$1 version=$2 arch=${3:-x86}
case $arch in
  x86) win64=no ;;
  x64) win64=yes ;;
  *) echo "build-package.sh: architecture x86 or x64, not $arch" >&2; exit 2 ;;
esac
# Built under another name first, so that a failed build leaves no package behind.
msi=$dir/zt4gac-example.msi
rm -f "$msi" "$msi.part"
# wixl looks for the files named in the .wxs below the current directory.
(cd "$dir" && wixl -a "$arch" -D Win64="$win64" -D Version="$version" -D Wixl=yes \
  -o zt4gac-example.msi.part "$source/zt4gac-example.wxs")

# Type 3394 = 2 (an exe stored in the Binary table) + 0x40 (return ignored) + 0x100
# (rollback) + 0x400 (in the script) + 0x800 (not impersonated). Each rollback action sits
# just before the action it undoes, under the same condition.
action="INSERT INTO CustomAction (Action, Type, Source, Target) VALUES"
step="INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES"
msibuild "$msi.part" \
  -q "$action ('GacInstallRollback', 3394, 'ToolBin', '-u')" \
  -q "$action ('GacRemoveRollback', 3394, 'ToolBin', '-i \"[INSTALLDIR]\"')" \
  -q "$step ('GacInstallRollback', 'NOT REMOVE', 5009)" \
  -q "$step ('GacRemoveRollback', 'REMOVE=\"ALL\"', 3498)"
mv "$msi.part" "$msi"

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
# declares them for the WiX toolset. A package whose deferred actions do not all lie inside the
# installation script, each with its rollback action, is refused (exit 1).
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

# Windows Installer refuses a deferred action outside InstallInitialize...InstallFinalize (ICE77;
# error 2762 at run time), and Wine's msiexec runs it anyway: so the tables are checked here,
# as WiX's own validation would. Each deferred action (type bit 0x400) lies strictly inside and
# runs unimpersonated (0x800); each but a rollback action (0x100) has one just before it, under
# the same condition, that undoes it and whose own failure is ignored (0x40): a rollback must
# run to its end.
awk -F'\t' 'function bit(i, b) { return int(type[a[i]] / b) % 2 } FNR < 4 { next }
  FNR == NR { type[$1] = $2; cmd[$1] = $4; next } { a[++n] = $1; c[n] = $2; s[n] = $3 }
  $1 == "InstallInitialize" { start = $3 } $1 == "InstallFinalize" { end = $3 }
  END { for (i = 1; i <= n; i++) if (bit(i, 1024) && ++d) {
      if (s[i] <= start || s[i] >= end || !bit(i, 2048)) bad = bad a[i] " (" s[i] ", " type[a[i]] ") misplaced. "
      undo = cmd[a[i]] == "-u" ? "-i \"[INSTALLDIR]\"" : "-u"; r = i - 1
      if (!bit(i, 256) && !(bit(r, 64) && bit(r, 256) && bit(r, 1024) && c[r] == c[i] && cmd[a[r]] == undo))
        bad = bad a[i] " has no rollback action just before it. " }
    if (!start || !end || !d) bad = "no script or no deferred action"
    if (bad) { print "build-package.sh: " bad > "/dev/stderr"; exit 1 } }' \
  <(msiinfo export "$msi.part" CustomAction) \
  <(msiinfo export "$msi.part" InstallExecuteSequence | sort -t$'\t' -k3n)
mv "$msi.part" "$msi"

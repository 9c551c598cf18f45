#!/usr/bin/env bash
# Builds a product's Windows Installer package that includes zt4gac.wxi, with wixl, and checks
# its tables as Windows Installer's validation would (Debian: wixl, msitools).
#
#   zt4gac-wixl.sh [-a x86|x64] [WIXL-OPTION...] -o PACKAGE.msi PRODUCT.wxs
#
# Run it where wixl finds the package's files (zt4gac.exe among them): it takes wixl's own
# options, finds zt4gac.wxi beside itself, and defines Win64=yes for -a x64 (the copy's value
# must land in the registry view the tool reads). A package that breaks a rule below is refused,
# with the rule named, and no PACKAGE.msi is left (exit 1).
#
# wixl 0.101 turns a rollback action (Execute="rollback") into an immediate one, which would run
# -u during every installation, and refuses exe actions from the Binary table. So wixl builds the
# package with Wixl defined, which leaves their declarations out, and msibuild writes them in
# afterwards as the source declares them for the WiX toolset (wixl -E without Wixl shows them):
# Type = 2 (an exe stored in the Binary table) + 0x40 (return ignored) + 0x100 (rollback) + 0x400
# (in the script) + 0x800 (not impersonated). Their places are the source's <Custom> rows.
#
# Wine's msiexec runs a deferred action outside the installation script as if it were inside, so
# only the tables show what Windows would refuse. Checked:
#   ICE77  an action in the script (0x400) lies between InstallInitialize and InstallFinalize;
#   ICE68  a custom action's type is a known one, with rollback, commit and no-impersonation only
#          in the script;
#   ICE75  an action that runs an installed file comes after CostFinalize;
#   ICE63  RemoveExistingProducts lies where Windows allows it;
# and the rules of the tool, which no ICE knows: each of its actions (the file zt4gac.exe) runs in
# the script, unimpersonated, with just before it, under the same condition, an unimpersonated
# rollback action that undoes it and whose failure is ignored; -i after InstallFiles and
# WriteRegistryValues, -u before RemoveFiles; the old product removed before -i (MajorUpgrade,
# RemoveExistingProducts: after -i, the old -u would take out what the new -i installed); and the
# copy's value "Zt4 Path Name" = [INSTALLDIR] in HKLM, of the tool's bitness, which -a sets; the
# tool's component in a feature; -u and -i conditioned on the tool's component alone ($Zt4gacTool=2: being removed,
# $Zt4gacTool=3: being installed or reinstalled), so that they follow it through a modify; and every
# feature that holds it also holding the copy's value and every component with files in
# INSTALLDIR\bin\netf20_32\ or bin\netf40_32\ (found through the Component, Directory and File
# tables), so that the providers enter and leave the GAC with their files.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
me=zt4gac-wixl.sh msi='' win64=no options=()
while (($#)); do
  case $1 in
    -o | --output) msi=${2:?} && shift ;;
    -a | --arch) [[ ${2:?} == x64 ]] && win64=yes; options+=("$1" "$2") && shift ;;
    *) options+=("$1") ;;
  esac
  shift
done
[[ $msi ]] || { echo "usage: $me [-a x86|x64] [WIXL-OPTION...] -o PACKAGE.msi PRODUCT.wxs" >&2; exit 2; }
options=(-I "$here" -D Win64="$win64" "${options[@]}")

# Built under another name first, so that a failed build or a refused package leaves none behind.
part=$msi.part work=$(mktemp -d)
rm -f "$msi" "$part"
trap 'rm -rf "$part" "$work"' EXIT
wixl -D Wixl=yes "${options[@]}" -o "$part" >&2

# The rollback actions as the WiX toolset sees them: wixl -E writes each element on one line. One
# that cannot be written in fails the build.
rollbacks=$(wixl -E "${options[@]}" | awk '/<CustomAction / && / Execute="rollback"/ {
    for (n = split("Id BinaryKey ExeCommand Impersonate Return", name, " "); n; n--) {
      value[n] = match($0, " " name[n] "=\"[^\"]*\"") ? substr($0, RSTART + length(name[n]) + 3,
        RLENGTH - length(name[n]) - 4) : ""
      gsub(/&quot;/, "\"", value[n]); gsub(/&lt;/, "<", value[n]); gsub(/&gt;/, ">", value[n])
      gsub(/&apos;/, "'\''", value[n]); gsub(/&amp;/, "\\&", value[n]) }
    if (value[2] == "" || value[3] == "" || value[3] ~ /\047/) {
      print "'"$me"': rollback action " value[1] ": only an exe from the Binary table (BinaryKey, ExeCommand" \
        " without \047) can be written in" > "/dev/stderr"; exit 1 }
    print value[1] "\t" value[2] "\t" value[3] "\t" (value[4] != "no") "\t" (value[5] == "ignore") }')
queries=()
while IFS=$'\t' read -r action binary command impersonate ignore; do
  [[ $action ]] && queries+=(-q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('$action',
    $((2 + 0x100 + 0x400 + (impersonate == 0 ? 0x800 : 0) + (ignore ? 0x40 : 0))), '$binary', '$command')")
done <<<"$rollbacks"
((${#queries[@]} == 0)) || msibuild "$part" "${queries[@]}"

# table NAME: the rows of a table (none when the package has no such table), NAME first in each.
# msiinfo writes a table's streams into a folder of the table's name, here below $work.
part=$(realpath "$part")
table() {
  (cd "$work" && msiinfo export "$part" "$1" 2>/dev/null) |
    awk -v t="$1" 'NR > 3 { sub(/\r$/, ""); print t "\t" $0 }' || true
}
{ table CustomAction; table Binary; table Component; table FeatureComponents; table Registry; table Upgrade
  table Directory; table File
  table InstallExecuteSequence | sort -t$'\t' -k4n; } | awk -F'\t' -v me="$me" -v msi="$msi" -v win64="$win64" '
  function bit(action, value) { return int(type[action] / value) % 2 }
  function refuse(text) { refused = refused "\n  " text }
  function known(list, value) { return index(" " list " ", " " value " ") > 0 }
  $1 == "CustomAction" { type[$2] = $3; source[$2] = $4; command[$2] = $5 }
  $1 == "Binary" { binary[$2] = 1 }
  # below(DIRECTORY): its path below INSTALLDIR, in lower case ("-" when it is not below it); a
  # DefaultDir is [short|]long[:source], "." the parent itself.
  function below(d,   path, part, n) {
    for (; d != "" && d != "INSTALLDIR" && n++ < 100; d = parent[d]) {
      part = dirname[d]; sub(/:.*/, "", part); sub(/^.*\|/, "", part)
      if (part != ".") path = part (path == "" ? "" : "\\" path)
    }
    return d == "INSTALLDIR" ? tolower(path) : "-"
  }
  $1 == "Component" { bitness[$2] = int($5 / 256) % 2; directory[$2] = $4 }
  $1 == "Directory" { parent[$2] = $3; dirname[$2] = $4 }
  $1 == "File" { files[$3] = 1 }
  $1 == "FeatureComponents" { featured[$3] = 1; holds[$2, $3] = 1; if ($3 == "Zt4gacTool") tools[$2] = 1 }
  $1 == "Registry" && $3 == 2 && tolower($4) ~ /^software\\ovk\\zt4\\installedcopies\\[^\\]+$/ &&
    $5 == "Zt4 Path Name" && $6 == "[INSTALLDIR]" { copy = $7 }
  $1 == "Upgrade" && $4 != "" && int($6 / 2) % 2 == 0 { upgrade = 1 }
  $1 == "InstallExecuteSequence" { at[$2] = $4; condition[$2] = $3; order[++n] = $2; before[$2] = order[n - 1] }
  END {
    start = at["InstallInitialize"]; end = at["InstallFinalize"]
    if (!start || !end) refuse("no installation script: InstallInitialize and InstallFinalize")
    for (i = 1; i <= n; i++) {
      a = order[i]; s = at[a]; r = before[a]
      if (!(a in type)) continue
      base = type[a] % 64
      if (bit(a, 1024) && (s <= start || s >= end))
        refuse("ICE77: " a " (" s ") runs in the script, but lies outside InstallInitialize (" start \
          ") ... InstallFinalize (" end ")")
      if (!known("1 2 5 6 17 18 19 21 22 34 35 37 38 50 51 53 54", base) || bit(a, 256) && bit(a, 512) ||
          !bit(a, 1024) && (bit(a, 256) || bit(a, 512) || bit(a, 2048)))
        refuse("ICE68: " a " has an invalid custom action type, " type[a])
      if (known("17 18 21 22", base) && s <= at["CostFinalize"])
        refuse("ICE75: " a " (" s ") runs an installed file before CostFinalize (" at["CostFinalize"] ")")
      if (known("1 2 5 6", base) && !(source[a] in binary)) refuse(a ": no row " source[a] " in the Binary table")
      if (source[a] != "zt4gac.exe") continue
      undo = command[a] == "-u" ? "-i \"[INSTALLDIR]\"" : "-u"
      state = command[a] == "-u" ? "$Zt4gacTool=2" : "$Zt4gacTool=3"
      c = condition[a]; gsub(/[ \t]/, "", c)
      if (c != state)
        refuse("the tool follows its component: " a " runs " command[a] " under \"" condition[a] "\", not " state \
          (state ~ /2$/ ? " (the component being removed)" : " (the component being installed or reinstalled)"))
      if (!bit(a, 1024) || !bit(a, 2048) || bit(a, 256) || bit(a, 512))
        refuse("the tool runs in the script, not impersonated: " a " has type " type[a])
      if (!(r in type) || !bit(r, 256) || !bit(r, 1024) || !bit(r, 2048) || !bit(r, 64) ||
          condition[r] != condition[a] || command[r] != undo || at[r] >= s)
        refuse("rollback: " a " (" s ") has no rollback action just before it under its condition that runs " \
          undo ", not impersonated, with its failure ignored")
      if (command[a] == "-u" && remove++ >= 0 && s >= at["RemoveFiles"])
        refuse("the tool: " a " (" s ") runs -u after RemoveFiles (" at["RemoveFiles"] ") took its file")
      if (command[a] ~ /^-i / && command[a] != "-i \"[INSTALLDIR]\"")
        refuse("the tool: " a " runs " command[a] ", not -i \"[INSTALLDIR]\" (the directory in quotes, for its spaces)")
      if (command[a] ~ /^-i / && !install++) {
        first = a
        if (s <= at["InstallFiles"] || s <= at["WriteRegistryValues"])
          refuse("the tool: " a " (" s ") runs -i before InstallFiles (" at["InstallFiles"] \
            ") and WriteRegistryValues (" at["WriteRegistryValues"] ") put the copy in place")
      }
    }
    if (!install || !remove) refuse("the tool: no -i and -u action of zt4gac.exe: is zt4gac.wxi included?")
    if (!featured["Zt4gacTool"]) refuse("the tool: no feature holds its component (<ComponentRef Id=\"Zt4gacTool\"/>)")
    for (c in files)
      if (below(directory[c]) ~ /^bin\\netf[24]0_32$/) providers[c] = "files in INSTALLDIR\\" below(directory[c])
    if (copy != "") providers[copy] = "the copy\047s value"
    for (f in tools) for (c in providers) if (!((f, c) in holds))
      refuse("the providers with the tool: feature " f " holds Zt4gacTool but not " c " (" providers[c] ")," \
        " so they would not enter and leave the GAC with it")
    if (copy == "") refuse("the copy: no HKLM value SOFTWARE\\Ovk\\Zt4\\InstalledCopies\\COPY \"Zt4 Path Name\"" \
      " = [INSTALLDIR]")
    else if (bitness[copy] != bitness["Zt4gacTool"])
      refuse("the copy: its value (" copy ") and the tool (Zt4gacTool) differ in Win64: the tool would not see it")
    if (bitness["Zt4gacTool"] != (win64 == "yes"))
      refuse("the tool: its component is " (bitness["Zt4gacTool"] ? "" : "not ") "64-bit in a package for " \
        (win64 == "yes" ? "x64" : "x86") ": the tool would read the other registry view")
    old = at["RemoveExistingProducts"]
    if (!upgrade || !old) refuse("upgrade: no MajorUpgrade (an Upgrade row that removes older versions)" \
      " or no RemoveExistingProducts")
    else if (!(old > at["InstallValidate"] && old < start || old > end ||
        known("InstallInitialize InstallExecute InstallExecuteAgain", before["RemoveExistingProducts"])))
      refuse("ICE63: RemoveExistingProducts (" old ") lies inside the script, not just after InstallInitialize")
    else if (install && old > at[first])
      refuse("upgrade: RemoveExistingProducts (" old ") after " first " (" at[first] "): the old product\047s -u" \
        " would take out what the new -i installed")
    if (refused) { print me ": " msi " refused:" refused > "/dev/stderr"; exit 1 }
  }'
mv "$part" "$msi"

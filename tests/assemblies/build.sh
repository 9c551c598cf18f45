#!/bin/bash
# Builds one strong-named test provider assembly with mcs.
#   build.sh OUTDIR NAME VERSION RUNTIME [unsigned]
# NAME is the assembly's simple name and the file's base name; RUNTIME is 2 or 4
# (mcs -sdk:2 / -sdk:4, which sets the metadata version v2.0.50727 / v4.0.30319).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
outdir=$1 name=$2 version=$3 runtime=$4 signing=${5:-signed}

mkdir -p "$outdir"
info=$(mktemp --suffix=.cs)
trap 'rm -f "$info"' EXIT
{
    echo 'using System.Reflection;'
    echo "[assembly: AssemblyTitle(\"$name\")]"
    echo "[assembly: AssemblyVersion(\"$version\")]"
    echo "[assembly: AssemblyFileVersion(\"$version\")]"
} > "$info"

key=()
[ "$signing" = unsigned ] || key=("-keyfile:$here/zt4test.snk")
mcs -nologo -target:library -sdk:"$runtime" "${key[@]}" -out:"$outdir/$name.dll" "$here/Provider.cs" "$info"

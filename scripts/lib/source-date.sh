# The one time a release archive gives its files (sourced, not run), so that two builds of one
# commit pack the same bytes, whoever builds it and wherever.

# The earliest time a ZIP entry can hold (its DOS date starts in 1980), 1980-01-01 00:00:00 UTC.
readonly ZIP_EPOCH_MIN=315532800

# source_date_epoch DIR: prints the seconds since 1970 (UTC) that the release of the tree at DIR
# dates its files with, and says on standard error where that came from:
# - SOURCE_DATE_EPOCH when set, so that a packager, or a second build of a copy without git's
#   history, can name the date itself;
# - else the commit time of HEAD, when DIR is the top of a git checkout and git is installed;
# - else (a source tarball, or a copy of the tree) 1980-01-01 00:00:00 UTC: a fixed date, so
#   that two builds of the same sources still agree; the archive's name carries the version.
# A time before 1980 is raised to 1980-01-01, as a ZIP cannot hold it.
source_date_epoch() {
  local dir=$1 epoch top
  if [[ -n ${SOURCE_DATE_EPOCH:-} ]]; then
    if [[ ! $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]]; then
      echo "SOURCE_DATE_EPOCH is not a number of seconds: $SOURCE_DATE_EPOCH" >&2
      return 1
    fi
    epoch=$SOURCE_DATE_EPOCH
    echo "file times: SOURCE_DATE_EPOCH" >&2
  elif command -v git >/dev/null && top=$(git -C "$dir" rev-parse --show-toplevel 2>/dev/null) &&
    [[ $(cd "$top" && pwd -P) == $(cd "$dir" && pwd -P) ]]; then
    # Only the tree's own history counts: a tarball unpacked inside another checkout has none.
    epoch=$(git -C "$dir" log -1 --format=%ct)
    echo "file times: the commit time of $(git -C "$dir" rev-parse --short HEAD)" >&2
  else
    epoch=$ZIP_EPOCH_MIN
    echo "file times: no SOURCE_DATE_EPOCH and no git history here, the fixed 1980-01-01 00:00:00 UTC" >&2
  fi
  if ((epoch < ZIP_EPOCH_MIN)); then
    epoch=$ZIP_EPOCH_MIN
  fi
  echo "$epoch"
}

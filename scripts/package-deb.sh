#!/usr/bin/env bash
# Builds the Debian packages from debian/ and copies them into DIST (default
# dist/): tlg, libtlg1, libtlg-dev, libtlg-gdk-pixbuf, qt6-tlg-image-plugin
# and python3-tlg, as NAME_VERSION_ARCH.deb. Prints their names, one a line.
# The build runs in build/deb/ on a copy of the checkout's files (the ones git
# knows, as they are in the worktree), always at the same path, so that two
# runs from the same commit give the same bytes (SOURCE_DATE_EPOCH: the
# commit's time).
#   scripts/package-deb.sh [DIST]
set -euo pipefail
cd "$(dirname "$0")/.."
dist=${1:-dist}
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}

version=$(sed -n 's/^project(tlg VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
deb_version=$(dpkg-parsechangelog -l debian/changelog -S Version)
if [ "$deb_version" != "$version" ]; then
  echo "package-deb: debian/changelog is at $deb_version, CMakeLists.txt at $version" >&2
  exit 1
fi

work="$PWD/build/deb"
source="$work/tlg-$version"
rm -rf "$work"
mkdir -p "$source" "$dist"
git ls-files -z | xargs -0 cp --parents -d -t "$source"

# nocheck: the tests run in scripts/test.sh; no -dbgsym packages in a release;
# the system's programs only (Debian's python3, not one of the user's).
(cd "$source" &&
  PATH=/usr/sbin:/usr/bin:/sbin:/bin DEB_BUILD_OPTIONS="nocheck noautodbgsym parallel=2" \
    dpkg-buildpackage -b -us -uc --no-sign >"$work/build.log" 2>&1) || {
  tail -50 "$work/build.log" >&2
  echo "package-deb: dpkg-buildpackage failed; see $work/build.log" >&2
  exit 1
}
for deb in "$work"/*.deb; do
  cp "$deb" "$dist/"
  basename "$deb"
done

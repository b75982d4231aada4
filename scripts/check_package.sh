#!/usr/bin/env bash
# Builds the Debian package and keeps it clean: the desktop entry, the AppStream metadata and the
# package pass the distribution's own linters. As root on a machine where no Ombrel package is
# installed (CI), the package is also installed with apt and purged again, leaving nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(bash scripts/package.sh)
desktop-file-validate data/ombrel.desktop
appstreamcli validate --no-net data/local.ombrel.Ombrel.metainfo.xml >/dev/null
lintian --fail-on error --tag-display-limit 0 "$deb" 2>/dev/null

if [ "$(id -u)" -ne 0 ] || dpkg-query -W ombrel >/dev/null 2>&1; then
  echo "Package built and linted; not installed here (needs root and no ombrel package installed)."
  exit 0
fi
# Quiet unless it fails.
apt_get() {
  local out
  out=$(DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 -y -qq "$@" 2>&1) ||
    { echo "$out" >&2; return 1; }
}
apt_get install "$deb"
trap 'apt_get purge ombrel || true' EXIT
mapfile -t files < <(dpkg-query -L ombrel)
[ "$(/usr/bin/ombrel --selftest)" = "selftest ok" ]
# The user-interface library is found where the package put it.
icon=$(mktemp -d)
/usr/bin/ombrel --make-icon "$icon/ombrel.png"
rm -rf "$icon"
apt_get purge ombrel
trap - EXIT
for f in "${files[@]}"; do
  if [ -e "$f" ] && [ ! -d "$f" ]; then
    echo "left behind after purge: $f" >&2
    exit 1
  fi
done
[ ! -e /usr/share/doc/ombrel ] || { echo "left behind after purge: /usr/share/doc/ombrel" >&2; exit 1; }
echo "Package built, linted, installed with apt and purged: $(basename "$deb")"

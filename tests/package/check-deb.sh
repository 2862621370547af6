#!/usr/bin/env bash
# Makes the .deb from a build tree with CPack and checks it: the app's files are in their
# standard places, the declared dependencies name the Debian packages the app needs, and
# lintian reports no errors.
set -euo pipefail
build_dir=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

if ! cpack --config "$build_dir/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  exit 1
fi
deb=$(find "$out" -maxdepth 1 -name '*.deb' | head -n 1)
[ -n "$deb" ] || { echo "no .deb was made"; cat "$out/cpack.log"; exit 1; }

status=0
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for file in \
  ./usr/bin/skerrow \
  ./usr/libexec/skerrow/cloudflared \
  ./usr/share/applications/dev.skerrow.Skerrow.desktop \
  ./usr/share/dbus-1/services/dev.skerrow.Skerrow.service \
  ./usr/share/man/man1/skerrow.1.gz \
  ./usr/share/bash-completion/completions/skerrow \
  ./usr/share/icons/hicolor/scalable/apps/dev.skerrow.Skerrow.svg \
  ./usr/share/metainfo/dev.skerrow.Skerrow.metainfo.xml \
  ./usr/share/doc/skerrow/copyright \
  ./usr/share/doc/skerrow/changelog.gz; do
  if ! grep -qxF "$file" <<<"$contents"; then
    echo "missing from the package: $file"
    status=1
  fi
done

depends=$(dpkg-deb --field "$deb" Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6dbus6 \
  lsof procps qt6-qpa-plugins; do
  if ! grep -qE "(^|, )$package( |,|$)" <<<"$depends"; then
    echo "not a declared dependency: $package (Depends: $depends)"
    status=1
  fi
done

if ! lintian --fail-on error --tag-display-limit 0 "$deb"; then
  echo "lintian reports errors"
  status=1
fi
exit $status

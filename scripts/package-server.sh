#!/usr/bin/env bash
# Builds the Debian package of snapora-server,
#   build/package/snapora-server_VERSION_amd64.deb
# with dpkg-deb: the binary (built in build/package-server with Debian's
# hardening flags, stripped), the systemd unit, /etc/snapora/snapora-server.conf
# as a conffile, a man page made from --help, and Depends worked out by
# dpkg-shlibdeps, so the libraries are Debian's own and none is bundled.
#   scripts/package-server.sh
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"
"$repo/scripts/install-packages.sh"

version=$(sed -n 's/.*ProgramVersion = "\([^"]*\)".*/\1/p' "$repo/src/base/Version.h")
[ -n "$version" ] || { echo "package-server: no version in src/base/Version.h" >&2; exit 1; }
packaging="$repo/packaging/server"
build="$repo/build/package-server"
out="$repo/build/package"
deb="$out/snapora-server_${version}_amd64.deb"

log "building snapora-server $version for the package"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
fi
ninja -C "$build" -j "${SNAPORA_JOBS:-$(nproc)}" snapora-server

log "packing $deb"
# File times from the changelog's date, so the same sources give the same package.
SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*>  //p' "$packaging/changelog" | head -1)" +%s)
export SOURCE_DATE_EPOCH
stage="$build/root"
rm -rf "$stage"
doc="$stage/usr/share/doc/snapora-server"
install -d "$stage/DEBIAN" "$doc" "$stage/usr/share/man/man8"
install -D -m 755 "$build/server/snapora-server" "$stage/usr/bin/snapora-server"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$stage/usr/bin/snapora-server"
install -D -m 644 "$packaging/snapora-server.service" "$stage/lib/systemd/system/snapora-server.service"
install -D -m 644 "$packaging/snapora-server.conf" "$stage/etc/snapora/snapora-server.conf"
install -m 644 "$packaging/copyright" "$packaging/README.Debian" "$doc/"
gzip -9n <"$packaging/changelog" >"$doc/changelog.gz"

# The man page is the --help text in roff: headings, options as tagged paragraphs.
"$stage/usr/bin/snapora-server" --help | awk -v version="$version" -v date="$(date -u -d "@$SOURCE_DATE_EPOCH" +%F)" '
  function roff(text) {
    gsub(/\\/, "\\e", text); gsub(/-/, "\\-", text)
    if (text ~ /^[.\047]/) text = "\\&" text
    return text
  }
  BEGIN { print ".TH SNAPORA\\-SERVER 8 \"" date "\" \"snapora-server " version "\" \"System Administration\"" }
  /^[A-Z][A-Z ]*$/ { section = $0; print ".SH " $0; paragraph = 0; next }
  /^$/ { if (section != "OPTIONS" && section != "COMMANDS") paragraph = 1; next }
  /^        / { sub(/^ +/, ""); print roff($0); next }
  /^    / {
    sub(/^ +/, "")
    if (section == "OPTIONS" || section == "COMMANDS") { print ".TP"; print ".B " roff($0) }
    else if (section == "SYNOPSIS") { print ".B " roff($0); print ".br" }
    else { if (paragraph) print ".PP"; print roff($0) }
    paragraph = 0
    next
  }
  END {
    print ".SH FILES"
    print ".TP"; print ".I /etc/snapora/snapora\\-server.conf"; print "The configuration the systemd unit starts the server with."
    print ".TP"; print ".I /var/lib/snapora"; print "The database and the pictures (a link to /var/lib/private/snapora)."
    print ".SH SEE ALSO"
    print ".BR systemctl (1),"
    print ".I /usr/share/doc/snapora\\-server/README.Debian"
  }' | gzip -9n >"$stage/usr/share/man/man8/snapora-server.8.gz"

# dpkg-shlibdeps reads the package's name from a debian/control of its own.
shlibs="$build/shlibs"
rm -rf "$shlibs"
mkdir -p "$shlibs/debian"
printf 'Source: snapora\n\nPackage: snapora-server\nArchitecture: amd64\n' >"$shlibs/debian/control"
depends=$(cd "$shlibs" && dpkg-shlibdeps -O "$stage/usr/bin/snapora-server" | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "package-server: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

installed_size=$(du -k -s --apparent-size "$stage" --exclude=DEBIAN | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@INSTALLED_SIZE@/$installed_size/" -e "s/@DEPENDS@/$depends/" \
  "$packaging/control" >"$stage/DEBIAN/control"
echo /etc/snapora/snapora-server.conf >"$stage/DEBIAN/conffiles"
install -m 755 "$packaging/postinst" "$packaging/prerm" "$packaging/postrm" "$stage/DEBIAN/"
(cd "$stage" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | LC_ALL=C sort -z | xargs -0 md5sum) \
  >"$stage/DEBIAN/md5sums"
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

mkdir -p "$out"
rm -f "$deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
dpkg-deb --info "$deb" | sed -n 's/^ \(Depends\|Installed-Size\):/  \1:/p'
ls -l "$deb"

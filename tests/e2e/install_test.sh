#!/usr/bin/env bash
# Installs the build into a fresh prefix and packs it as a .deb; checks both layouts and that an
# installed copy keeps its data in the user's data folder.
set -euo pipefail
build="$1"
gui="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

expected=(bin/zuvemo-cli bin/zuvemo-sample-server "share/zuvemo/雛型EXCEL.xltx" share/doc/zuvemo/README.md)
if [ "$gui" = ON ]; then
  expected+=(bin/Pro_zuvemo bin/pro_melbat share/applications/zuvemo.desktop
             share/icons/hicolor/scalable/apps/zuvemo.svg)
fi
sorted() { printf '%s\n' "$@" | LC_ALL=C sort; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
got="$(cd "$work/prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)"
[ "$got" = "$(sorted "${expected[@]}")" ] || fail "installed files differ: $got"
if [ "$gui" = ON ]; then
  grep -qx 'Exec=pro_melbat' "$work/prefix/share/applications/zuvemo.desktop" || fail "desktop entry"
  grep -qx 'Icon=zuvemo' "$work/prefix/share/applications/zuvemo.desktop" || fail "desktop icon"
fi

# The installed command line program without --home: the folder is the user's data folder.
export HOME="$work/home"
unset XDG_DATA_HOME
"$work/prefix/bin/zuvemo-cli" init --daily-url http://127.0.0.1:1/d/ --history-url http://127.0.0.1:1/h/
data="$HOME/.local/share/zuvemo"
for f in qen_kanrFile.dsa zuvemo.db "雛型EXCEL.xltx"; do
  [ -f "$data/$f" ] || fail "no $f in $data"
done
[ ! -e "$work/prefix/bin/zuvemo.db" ] || fail "database written beside the installed programs"
XDG_DATA_HOME="$work/xdg" "$work/prefix/bin/zuvemo-cli" init --daily-url http://127.0.0.1:1/d/ \
  --history-url http://127.0.0.1:1/h/
[ -f "$work/xdg/zuvemo/zuvemo.db" ] || fail "XDG_DATA_HOME not used"

# The .deb: the same files below /usr, and the Debian runtime packages as dependencies.
(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
deb="$(ls "$work"/deb/zuvemo_*.deb)"
listed="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./usr/||' | LC_ALL=C sort)"
[ "$listed" = "$(sorted "${expected[@]}")" ] || fail ".deb files differ: $listed"
depends="$(dpkg-deb -f "$deb" Depends)"
needed=(libsqlite3-0 libcurl4 libzip4 libpugixml1v5 libsodium23)
if [ "$gui" = ON ]; then needed+=(libqt6widgets6 qt6-qpa-plugins); fi
for p in "${needed[@]}"; do
  [[ ", $depends," == *", $p"[\ ,]* ]] || fail ".deb does not depend on $p: $depends"
done
echo "install and package: ok"

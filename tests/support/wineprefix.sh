#!/bin/sh
# Wine prefixes for the tests.
#   wineprefix.sh template DIR       build the golden prefix once (skipped when DIR/.complete exists)
#   wineprefix.sh clone SRC DST      make an isolated copy of an idle prefix in a fraction of a second
set -e
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

template() {
  dir=$1
  [ -f "$dir/.complete" ] && return 0
  rm -rf "$dir"; mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  export WINEPREFIX="$dir"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  r() { wine reg "$@" /f >/dev/null 2>&1; }
  r add 'HKCU\Software\Wine\Drivers' /v Graphics /d null
  for view in 32 64; do
    # No debugger pop-up on a crashing package, and .msi parameters reach msiexec.
    r add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /reg:$view
    r add 'HKCR\Msi.Package\shell\Open\command' /ve /d 'C:\windows\system32\msiexec.exe /i "%1" %*' /reg:$view
  done
  # Web pages opened through the shell go to a recorder instead of a browser.
  cat > "$dir/browser-recorder.sh" <<'REC'
#!/bin/sh
[ -n "$CHAINER_BROWSER_LOG" ] && printf '%s\n' "$@" >> "$CHAINER_BROWSER_LOG"
exit 0
REC
  chmod +x "$dir/browser-recorder.sh"
  r add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$dir/browser-recorder.sh"
  # Z: maps the host's root; as a network drive it is left out of searches over fixed disks.
  r add 'HKLM\Software\Wine\Drives' /v 'z:' /d network /reg:64
  wine winecfg /v win10 >/dev/null 2>&1
  wineserver -k || true
  wineserver -w || true
  touch "$dir/.complete"
}

clone() {
  src=$1 dst=$2
  mkdir -p "$dst"
  tar -C "$src" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
      --exclude=./drive_c/windows/winsxs -cf - . | tar -C "$dst" -xf -
  # The big DLL trees are shared by hard links: never rewrite a file in them in place.
  for d in system32 syswow64 winsxs; do cp -al "$src/drive_c/windows/$d" "$dst/drive_c/windows/$d"; done
}

case "$1" in
  template) template "$2" ;;
  clone) clone "$2" "$3" ;;
  *) echo "usage: $0 template DIR | clone SRC DST" >&2; exit 2 ;;
esac

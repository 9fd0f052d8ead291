#!/usr/bin/env bash
# The Debian package built by CPack from a build tree, installed into a scratch root.
# Usage: package_test.sh BUILD_DIR VERSION. Exits 77 (skipped) when a tool is missing.
set -euo pipefail
build=$1 version=$2
for tool in cpack dpkg-deb scdoc man; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack"; }
deb=$(echo "$tmp"/pkg/zenpo_"$version"_*.deb)

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libcurl libncursesw libx11 sensible-utils; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

# Debian's own check, where installed: neither errors nor warnings.
if command -v lintian >/dev/null; then
  report=$(lintian "$deb" 2>&1) || true
  problems=$(grep -E '^[EW]: ' <<<"$report" || true)
  [ -z "$problems" ] || fail "lintian:"$'\n'"$problems"
fi

root=$tmp/root
dpkg-deb -x "$deb" "$root"
zenpo=$root/usr/bin/zenpo
export HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/run
unset XDG_DATA_HOME ZENPO_HOME DISPLAY
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$tmp/empty"

# --version and --help answer and never start the program: nothing is created.
[ "$(ZENPO_HOME=$tmp/empty "$zenpo" --version)" = "zenpo $version" ] || fail "--version"
help=$(ZENPO_HOME=$tmp/empty "$zenpo" M --help </dev/null)
[[ $help == Usage:* && $help == *"zenpo(1)"* ]] || fail "--help: $help"
[ -z "$(find "$tmp/empty" "$HOME" -mindepth 1)" ] || fail "--help or --version started the program"

# Where each way of running keeps its files: it starts, writes its log there, and ends
# on SIGTERM as on EXIT.
runs_in() {  # runs_in DIR [VAR=VALUE...] PROGRAM
  local dir=$1; shift
  env "$@" </dev/null >"$tmp/out" 2>&1 &
  local pid=$! i
  for i in $(seq 100); do [ -f "$dir/ZENPO.log" ] && break; sleep 0.1; done
  kill -TERM "$pid" || fail "$* ended by itself: $(cat "$tmp/out")"
  local status=0
  wait "$pid" || status=$?
  [ -f "$dir/ZENPO.log" ] && [ "$status" -lt 128 ] ||
    fail "$* kept no log in $dir (exit $status): $(cat "$tmp/out")"
}
runs_in "$HOME/.local/share/zenpo" "$zenpo"
runs_in "$tmp/xdg/zenpo" XDG_DATA_HOME="$tmp/xdg" "$zenpo"
mkdir "$tmp/copy" && cp "$zenpo" "$tmp/copy/"
runs_in "$tmp/copy" "$tmp/copy/zenpo"
[ "$(stat -c %a "$HOME/.local/share/zenpo")" = 700 ] || fail "data folder not 0700"

warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/zenpo.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man page: $warnings"

# The unit, pointed at the extracted program, passes systemd's own check.
if command -v systemd-analyze >/dev/null; then
  sed "s|^ExecStart=zenpo|ExecStart=$zenpo|" "$root/usr/lib/systemd/user/zenpo.service" \
    >"$tmp/zenpo.service"
  report=$(systemd-analyze verify --user --man=no "$tmp/zenpo.service" 2>&1) && [ -z "$report" ] ||
    fail "systemd-analyze: $report"
fi
echo "package ok: $deb"

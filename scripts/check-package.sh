#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh built: its control fields and contents with
# dpkg-deb, lintian (errors and warnings fail; docs/packaging.md explains the overrides), and with
# --install a round trip on this machine: apt installs it with its dependencies, the workbench runs
# from PATH with its man page and completion, and apt remove leaves nothing of it behind.
#   scripts/check-package.sh DEB [--install]
set -euo pipefail
deb="$(realpath "$1")"
install="${2:-}"
fail() { echo "check-package: $*" >&2; exit 1; }

info="$(dpkg-deb --info "$deb")"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = rsm-workbench ] || fail "package name $(field Package)"
# dpkg-shlibdeps' work: every library the binaries link, with its version, and none of ours.
depends="$(field Depends)"
for lib in libc6 libstdc++6 libsqlite3-0 libpugixml1v5 libedit2; do
  [[ ", $depends" == *", $lib (>= "* ]] || fail "Depends lacks a version of $lib: $depends"
done
! grep -q 'ornr\|libornhost\|libornpanel' <<<"$depends" || fail "Depends names our own libraries"

contents="$(dpkg-deb --contents "$deb" | awk '{ print $6 }' | sed 's|^\./|/|')"
private="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/rsm-workbench"
for path in /usr/bin/rsm-workbench /usr/bin/rsm-audit /usr/share/man/man1/rsm-audit.1.gz \
  "$private/libornrender.so.1" "$private/libornrender.so.1.0.0" \
  "$private/libornhost.so.1" "$private/libornpanel.so.1" "$private/librsm-workbench-page.so.1" \
  "$private/ornrender/Localizable.de.txt" \
  "$private/ornrender/Localizable.ja.txt" /usr/share/man/man1/rsm-workbench.1.gz \
  /usr/share/bash-completion/completions/rsm-workbench /usr/share/doc/rsm-workbench/copyright \
  /usr/share/doc/rsm-workbench/changelog.Debian.gz; do
  grep -qx "$path" <<<"$contents" || fail "missing $path"
done
# The Python package where Debian's python3 finds it, built for the Python the package depends on.
python_dir=/usr/lib/python3/dist-packages/ornr
for path in "$python_dir/__init__.py" "$python_dir/__init__.pyi" "$python_dir/py.typed"; do
  grep -qx "$path" <<<"$contents" || fail "missing $path"
done
grep -qE "^$python_dir/_ornr\.cpython-[0-9]+-.*\.so$" <<<"$contents" || fail "no Python extension"
[[ "$depends" == *"python3 (>= "* ]] || fail "Depends lacks python3: $depends"
# What builds on the module (headers, link names, CMake and pkg-config files) is not in it.
! grep -E '/include/|\.so$|/pkgconfig/|/cmake/|\.a$' <<<"$contents" | grep -v "^$python_dir/_ornr\." ||
  fail "development files"
! grep -v '^/usr/' <<<"$contents" || fail "files outside /usr"

# Overridden tags show as "O:" with their reason; an error or warning left fails.
report="$(lintian --display-info --show-overrides "$deb" 2>&1)" || fail "lintian: $report"
grep -v '^running with root privileges' <<<"$report" || true
! grep -Eq '^(E|W): ' <<<"$report" || fail "lintian found errors or warnings"
echo "check-package: $(basename "$deb"): fields, contents and lintian ok"
[ "$install" = --install ] || exit 0

# The round trip changes this machine's /usr: only as root, and only for CI or when asked.
[ "$(id -u)" -eq 0 ] || fail "--install needs root"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
installed="$(dpkg -L rsm-workbench)"
work="$(mktemp -d "${TMPDIR:-/tmp}/rsm-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# From PATH, in German, with the module and its texts found where the package put them.
out="$(cd "$work" && env -u ORNR_MODULE LANG=de_DE.UTF-8 rsm-workbench --master t.zel \
  -c 'host add Sky' -c refresh -c 'new Sky' -c list)"
grep -q 'list: master "Unbenannt" (current)' <<<"$out" || fail "installed workbench: $out"
man -P cat rsm-workbench 2>/dev/null | grep -q -- '--culture NAME' || fail "man rsm-workbench"
# Debian's python3 finds the package without PYTHONPATH, and it reads the file just made.
out="$(cd "$work" && env -u PYTHONPATH /usr/bin/python3 -c \
  'import ornr; print(ornr.__version__, "Sky" in ornr.open("t.zel").setups)')"
[ "$out" = "$(dpkg-deb --field "$deb" Version | sed 's/-[^-]*$//') True" ] || fail "import ornr: $out"
# As a person's shell finds it: bash-completion loads it on first use.
cat >"$work/complete.sh" <<'EOF_SH'
source /usr/share/bash-completion/bash_completion
_completion_loader rsm-workbench
complete -p rsm-workbench
COMP_WORDS=(rsm-workbench -c "'answer ") COMP_CWORD=2
_rsm_workbench
printf '%s\n' "${COMPREPLY[@]}"
EOF_SH
completion="$(bash -i "$work/complete.sh" 2>/dev/null)"
grep -q 'complete -F _rsm_workbench rsm-workbench' <<<"$completion" || fail "completion not loaded"
grep -qx 'answer yes' <<<"$completion" || fail "completion: $completion"

apt-get remove -y -qq rsm-workbench >/dev/null
left=""
while read -r path; do
  case "$path" in *rsm-workbench* | *ornrender*) ;; *) continue ;; esac
  if [ -e "$path" ] || [ -L "$path" ]; then left+=" $path"; fi
done <<<"$installed"
[ -z "$left" ] || fail "left behind after remove: $left"
[ -z "$(dpkg-query -W -f='${db:Status-Status}' rsm-workbench 2>/dev/null | grep -v not-installed)" ] ||
  fail "dpkg still knows rsm-workbench after remove"
echo "check-package: installed, ran from PATH (man page, completion), removed without a trace"

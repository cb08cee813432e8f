#!/usr/bin/env bash
# The real program under Xvfb: Escape on the login dialog ends it with exit code
# 0, without a main window, and leaves the remembered values, Tavrel.ini and
# OpLog as they were.
# Usage: sys_login_escape.sh <bin dir holding kolvane and kolvane-db>
set -uo pipefail

bin="${1:?bin directory}"
for tool in xvfb-run xdotool sqlite3; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -x "$bin/kolvane" ] && [ -x "$bin/kolvane-db" ] || { echo "FAIL: $bin/kolvane or kolvane-db missing"; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
app="$work/app"
mkdir -p "$app" "$work/config/kolvane"
cp "$bin/kolvane" "$app/"
"$bin/kolvane-db" demo "$app/Kolvane.mdb" >/dev/null || { echo "FAIL: no demo database"; exit 1; }

# Values from an earlier sign-in, and a configuration file with other lines.
registry="$work/config/kolvane/registry.ini"
printf '[Software]\nKolvane\\OneCard\\Ym=2000-01\nKolvane\\OneCard\\user_name=someone\n' >"$registry"
printf '; site settings\n[SystemConfigure]\nStatu=STAR20000101\nOther=1\n' >"$app/Tavrel.ini"

fingerprint() {
    md5sum "$registry" "$app/Tavrel.ini" | cut -d' ' -f1 | tr '\n' ' '
    sqlite3 "$app/Kolvane.mdb" 'SELECT count(*) FROM OpLog'
}
before="$(fingerprint)"

# xdotool matches window names reliably only in a UTF-8 locale that exists.
export LC_ALL=C.UTF-8
unset LANG LANGUAGE QT_QPA_PLATFORM
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
# In a sanitizer build, the X11 session's D-Bus library keeps a buffer to the end.
printf 'leak:libdbus-1.so\n' >"$work/lsan.supp"
export LSAN_OPTIONS="suppressions=$work/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

cat >"$work/session.sh" <<'SESSION'
#!/usr/bin/env bash
. "$KOLVANE_LIB"
app="$1"
"$app/kolvane" &
pid=$!
login="$(kolvane_wait_window "$pid" '^登录身份验证$')"
if [ -z "$login" ]; then
    echo "FAIL: the login dialog did not appear"
    kill "$pid" 2>/dev/null
    wait "$pid"
    exit 2
fi
# The main window's caption starts with the application title and a dash: it
# must not appear between Escape and the end.
( while kill -0 "$pid" 2>/dev/null; do
    xdotool search --name '^一卡通软件 - ' >/dev/null 2>&1 && { echo seen >"$KOLVANE_WORK/main-seen"; break; }
    sleep 0.25
done ) &
kolvane_escape_and_wait "$pid" "$login"
code=$?
wait
if [ "$code" -eq 124 ]; then
    echo "FAIL: the program is still running after Escape"
    exit 3
fi
if [ -f "$KOLVANE_WORK/main-seen" ]; then
    echo "FAIL: a main window appeared"
    exit 4
fi
if [ "$code" -ne 0 ]; then
    echo "FAIL: exit code $code"
    exit 5
fi
exit 0
SESSION
chmod +x "$work/session.sh"

export KOLVANE_LIB="$(cd "$(dirname "$0")/.." && pwd)/scripts/lib.sh" KOLVANE_WORK="$work"
xvfb-run -a "$work/session.sh" "$app"
status=$?
[ "$status" -eq 0 ] || exit 1

after="$(fingerprint)"
if [ "$before" != "$after" ]; then
    echo "FAIL: files or OpLog changed: before [$before] after [$after]"
    exit 1
fi
echo "PASS"

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
app="$1"
"$app/kolvane" &
pid=$!
login=""
for _ in $(seq 1 80); do
    login="$(xdotool search --name '^登录身份验证$' 2>/dev/null | head -1)"
    [ -n "$login" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.25
done
if [ -z "$login" ]; then
    echo "FAIL: the login dialog did not appear"
    kill "$pid" 2>/dev/null
    wait "$pid"
    exit 2
fi
xdotool windowfocus --sync "$login" 2>/dev/null || xdotool windowfocus "$login"
sleep 0.3
xdotool key Escape
main_seen=0
for _ in $(seq 1 80); do
    kill -0 "$pid" 2>/dev/null || break
    # The main window's caption starts with the application title and a dash.
    if xdotool search --name '^一卡通软件 - ' >/dev/null 2>&1; then main_seen=1; fi
    sleep 0.25
done
if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: the program is still running after Escape"
    kill "$pid"
    wait "$pid"
    exit 3
fi
wait "$pid"
code=$?
if [ "$main_seen" -ne 0 ]; then
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

xvfb-run -a "$work/session.sh" "$app"
status=$?
[ "$status" -eq 0 ] || exit 1

after="$(fingerprint)"
if [ "$before" != "$after" ]; then
    echo "FAIL: files or OpLog changed: before [$before] after [$after]"
    exit 1
fi
echo "PASS"

#!/usr/bin/env bash
# The whole set-up in a real window: Xvfb, the program in the client namespace
# of a private LAN, the simulator playing the box. Clicks and typing come from
# xdotool; the program's QENBOX_TEST_TRACE file tells what it loaded, set and
# showed; screenshots land in OUT.
#
#   window-e2e.sh PROGRAM SIMULATOR LAN_SCRIPT OUT
#
# Needs root (network namespaces), Xvfb, xdotool and ImageMagick's import.
set -uo pipefail

PROGRAM=$1
SIM=$2
LAN=$3
OUT=$4

BOX_IP=192.0.2.20
NEW_IP=192.0.2.30

failures=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
note() { echo "---- $*"; }

mkdir -p "$OUT"
rm -f "$OUT"/*.png "$OUT"/*.trace "$OUT"/*.log "$OUT"/opened-urls.txt

# ---------------------------------------------------------------- set-up
pids=()
lan_id=""
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  [ -n "$lan_id" ] && "$LAN" down "$lan_id" >/dev/null 2>&1
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A display nobody uses; its filesystem socket reaches into the namespaces.
display=""
for n in $(seq $((100 + $$ % 100)) 299); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display"; exit 1; }
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"

lan_id=$("$LAN" up) || { echo "cannot create the namespace LAN"; exit 1; }

# The browser is a recorder: a test-only desktop file is the default handler
# for http(s), so the program's URLs land in a file and nothing is fetched.
xdg="$OUT/xdg"
rm -rf "$xdg"
mkdir -p "$xdg/data/applications" "$xdg/config" "$xdg/home" "$xdg/cache"
mkdir -m 0700 -p "$xdg/run"
cat >"$xdg/recorder" <<EOF
#!/bin/sh
printf '%s\n' "\$1" >>"$OUT/opened-urls.txt"
EOF
chmod +x "$xdg/recorder"
cat >"$xdg/data/applications/qenbox-test-recorder.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=URL recorder
Exec=$xdg/recorder %u
MimeType=x-scheme-handler/http;x-scheme-handler/https;
NoDisplay=true
EOF
cat >"$xdg/config/mimeapps.list" <<EOF
[Default Applications]
x-scheme-handler/http=qenbox-test-recorder.desktop
x-scheme-handler/https=qenbox-test-recorder.desktop
EOF

# The program's copy sits in OUT so its log ("QenBoxClient.log" next to the
# executable) is kept with the screenshots.
cp "$PROGRAM" "$OUT/QenBoxClient"

sim_pid=""
client_pid=""
trace=""

start_box() {  # start_box ARGS...
  "$LAN" exec "$lan_id" box "$SIM" --ip "$BOX_IP" "$@" >>"$OUT/sim.log" 2>&1 &
  sim_pid=$!
  pids+=("$sim_pid")
  sleep 0.5
}

start_client() {  # start_client NAME LANG
  trace="$OUT/$1.trace"
  : >"$trace"
  mark=0
  "$LAN" exec "$lan_id" client env -i PATH="$PATH" DISPLAY="$DISPLAY" LANG="$2" LC_ALL="" \
    HOME="$xdg/home" XDG_CONFIG_HOME="$xdg/config" XDG_DATA_HOME="$xdg/data" \
    XDG_CACHE_HOME="$xdg/cache" XDG_RUNTIME_DIR="$xdg/run" NO_AT_BRIDGE=1 \
    QENBOX_TEST_TRACE="$trace" "$OUT/QenBoxClient" >>"$OUT/client-$1.log" 2>&1 &
  client_pid=$!
  pids+=("$client_pid")
}

# Ends a scenario; the next one gets a fresh LAN, since a set-ip moves the
# box's address.
stop_all() {
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  wait "$client_pid" "$sim_pid" 2>/dev/null
  client_pid=""
  sim_pid=""
  "$LAN" down "$lan_id" >/dev/null 2>&1
  lan_id=$("$LAN" up) || { echo "cannot create the namespace LAN"; exit 1; }
}

# wait_trace PATTERN SECONDS: waits for a trace line after the mark matching
# the extended regular expression (kind<TAB>fields...); prints its time stamp
# (microseconds) and moves the mark past it, so checks follow each other in
# the order the program wrote them.
mark=0
wait_trace() {
  local deadline=$((SECONDS + $2)) found
  while [ $SECONDS -le $deadline ]; do
    found=$(tail -n +$((mark + 1)) "$trace" | cut -f2- | grep -n -E -m1 "$1")
    if [ -n "$found" ]; then
      mark=$((mark + ${found%%:*}))
      sed -n "${mark}p" "$trace" | cut -f1
      return 0
    fi
    sleep 0.2
  done
  return 1
}
# Later checks look only at what the program writes from now on.
mark_now() { mark=$(wc -l <"$trace"); }

expect_trace() {  # expect_trace WHAT PATTERN SECONDS
  if wait_trace "$2" "$3" >/dev/null; then pass "$1"; else fail "$1 (no trace line /$2/ within $3 s)"; fi
}

T=$'\t'

# Window geometry: the view fills the bottom of the window (client-side
# decorations put the header bar above it).
win_x=0
win_y=0
win_w=0
win_h=0
view_x=0
view_y=0
find_window() {  # the program's first visible window (its class is the program name)
  local id geo
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --classname '^QenBoxClient$' 2>/dev/null | head -1)
    [ -n "$id" ] && break
    sleep 0.2
  done
  [ -n "$id" ] || return 1
  geo=$(xdotool getwindowgeometry --shell "$id")
  win_x=$(sed -n 's/^X=//p' <<<"$geo")
  win_y=$(sed -n 's/^Y=//p' <<<"$geo")
  win_w=$(sed -n 's/^WIDTH=//p' <<<"$geo")
  win_h=$(sed -n 's/^HEIGHT=//p' <<<"$geo")
  local border=$(((win_w - 590) / 2))
  view_x=$((win_x + border))
  view_y=$((win_y + win_h - border - 431))
}

click_view() {  # click_view X Y [BUTTON]: page coordinates
  xdotool mousemove $((view_x + $1)) $((view_y + $2)) click "${3:-1}"
  sleep 0.3
}
click_window() {  # click_window X Y: window coordinates (header bar)
  xdotool mousemove $((win_x + $1)) $((win_y + $2)) click 1
  sleep 0.3
}
type_into() {  # type_into X Y TEXT: replaces the input's content
  click_view "$1" "$2"
  xdotool key ctrl+a
  xdotool type --delay 30 "$3"
  sleep 0.2
}
shot() {  # shot NAME: the window (and what is on top of it)
  sleep "${2:-0.6}"
  import -window root -crop "${win_w}x${win_h}+${win_x}+${win_y}" +repage "$OUT/$1.png" 2>/dev/null
  echo "screenshot: $OUT/$1.png"
}

# Page coordinates of the controls (the pages' layout is fixed).
IN_PASSWORD=(333 183)
IN_IPADDRESS=(333 227)
IN_SUBNETMASK=(333 271)
BTN_CHANGEIP=(333 369)
BTN_WEB=(371 178)
BTN_CONSOLE=(371 242)
MENU_BUTTON=(28 26)
ABOUT_ENTRY=(68 55)
CLOSE_BUTTON_FROM_RIGHT=28

close_window() {
  click_window $((win_w - CLOSE_BUTTON_FROM_RIGHT)) 26
}

# Seconds (1 decimal) between two trace time stamps.
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b - a) / 1e6 }'; }

# ---------------------------------------------------------------- 1: form, set-ip, restart, re-find
note "English: a dhcp box, the form, a set-ip and the box found again"
start_box --iptype dhcp --restart-s 3 --http-delay-ms 1500 --reply-delay-ms 2000
start_client en C.UTF-8
if find_window; then pass "window shown (${win_w}x${win_h} at $win_x,$win_y)"; else fail "no window"; fi
expect_trace "searching page loaded" "^complete${T}res://.*/104\$" 20
expect_trace "searching subtitle" "^text${T}SubTitle${T}Finding QenBox\.\.\.\$" 5
expect_trace "searching hint" "^text${T}HintLabel${T}Please ensure you QenBox is opened and has connected to your router\.\$" 5
shot 104-searching
expect_trace "IP form page for the dhcp box" "^complete${T}res://.*/131\$" 30
form_mark=$mark
expect_trace "form subtitle names the box" "^text${T}SubTitle${T}QenBox was found at $BOX_IP\. Please reset the IP address of your QenBox\.\$" 5
mark=$form_mark; expect_trace "address prefix filled" "^(text|value)${T}IPAddress${T}192\.0\.2\.\$" 5
mark=$form_mark; expect_trace "default subnet mask filled" "^(text|value)${T}SubnetMask${T}255\.255\.255\.0\$" 5
mark=$form_mark; expect_trace "labels without the built-in blanks" "^text${T}UserIdLabel${T}User Name:\$" 5
mark=$form_mark; expect_trace "gateway label" "^text${T}GatewayLabel${T}Gateway \(Allow empty\)\$" 5
shot 131-form

mark_now
type_into "${IN_PASSWORD[@]}" admin
type_into "${IN_IPADDRESS[@]}" 192.0.2.300
click_view "${BTN_CHANGEIP[@]}"
expect_trace "invalid address: the form's message" "^message${T}Please enter a valid IP address\.\$" 5
shot 131-invalid-address
xdotool key Return
expect_trace "message box closed with OK" "^message-closed${T}" 5
expect_trace "focus on the failing input" "^focus${T}IPAddress\$" 2
mark_now

type_into "${IN_IPADDRESS[@]}" "$NEW_IP"
click_view "${BTN_CHANGEIP[@]}"
expect_trace "applying page" "^complete${T}res://.*/132\$" 5
expect_trace "applying subtitle" "^text${T}SubTitle${T}Configing QenBox IP Address, Please wait a while\.\.\.\$" 2
shot 132-applying 0.1
t104=$(wait_trace "^load${T}res://.*/104\$" 20)
if [ -n "$t104" ]; then pass "searching page after the exchange"; else fail "no searching page after the exchange"; fi
after104=$mark
expect_trace "searching subtitle after the exchange" "^text${T}SubTitle${T}Finding QenBox\.\.\.\$" 10
mark=$after104
expect_trace "success message" "^message${T}IP address has been reseted, please wait for re-finding QenBox\.\$" 10
shot 104-after-setip
xdotool key Return
mark=$after104
t109=$(wait_trace "^text${T}SubTitle${T}QenBox is restarting \(It may take 1-2 minutes\), please wait\.\.\.\$" 10)
shot 104-restarting 0.2
t110=$(wait_trace "^text${T}SubTitle${T}Re-finding QenBox\.\.\.\$" 45)
if [ -n "$t104" ] && [ -n "$t109" ] && [ -n "$t110" ]; then
  d109=$(elapsed "$t104" "$t109")
  d110=$(elapsed "$t104" "$t110")
  if awk -v a="$d109" -v b="$d110" 'BEGIN { exit !(a >= 2.5 && a <= 4.5 && b >= 32.5 && b <= 35) }'; then
    pass "restart subtitles at ${d109} s and ${d110} s"
  else
    fail "restart subtitles at ${d109} s and ${d110} s (expected about 3 and 33)"
  fi
else
  fail "restart subtitles missing (109: ${t109:-none}, 110: ${t110:-none})"
fi
expect_trace "running page for the re-found box" "^complete${T}res://.*/130\$" 40
expect_trace "running subtitle with the new address" "^text${T}SubTitle${T}Your QenBox \($NEW_IP\) is running normally\.\$" 5
expect_trace "download button label" "^(text|value)${T}ButtonDownload${T}Download Client\$" 5
shot 130-running
mark_now

click_view "${BTN_WEB[@]}"
click_view "${BTN_CONSOLE[@]}"
for _ in $(seq 25); do [ "$(wc -l <"$OUT/opened-urls.txt" 2>/dev/null || echo 0)" -ge 2 ] && break; sleep 0.2; done
if grep -qx "http://$NEW_IP/web/" "$OUT/opened-urls.txt" 2>/dev/null; then pass "web button opens http://$NEW_IP/web/"; else fail "web button: $(cat "$OUT/opened-urls.txt" 2>/dev/null)"; fi
if grep -qx "http://$NEW_IP/manage_console" "$OUT/opened-urls.txt" 2>/dev/null; then pass "console button opens http://$NEW_IP/manage_console"; else fail "console button: $(cat "$OUT/opened-urls.txt" 2>/dev/null)"; fi

click_view 100 380 3
expect_trace "right-click: the view's menu suppressed" "^context-menu${T}suppressed\$" 3
shot 130-right-click
click_window "${MENU_BUTTON[@]}"
shot 130-menu 0.3
click_window "${ABOUT_ENTRY[@]}"
expect_trace "About box opens from the menu entry" "^about${T}open\$" 3
shot 130-about
xdotool key Escape
expect_trace "About box closes on Escape" "^about${T}closed\$" 3

close_window
if wait "$client_pid"; then pass "closing the window ends the program"; else fail "program ended with status $?"; fi
client_pid=""
stop_all

# ---------------------------------------------------------------- 2: close while discovery is blocked
note "Closing the window while discovery waits for an answer"
start_box --silent
start_client blocked C.UTF-8
find_window || fail "no window"
expect_trace "searching page" "^complete${T}res://.*/104\$" 20
sleep 2  # discovery is now inside its 10 s receive
start=$(date +%s%N)
close_window
wait "$client_pid"
status=$?
end=$(date +%s%N)
client_pid=""
took=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / 1e9 }')
if awk -v t="$took" 'BEGIN { exit !(t <= 5.5) }'; then pass "ended ${took} s after the close (status $status)"; else fail "took ${took} s to end after the close"; fi
if cut -f2 "$trace" | grep -q '^message$'; then fail "a message box appeared after the close"; else pass "no message after the close"; fi
stop_all

# ---------------------------------------------------------------- 3: Chinese
note "Chinese: the same pages under LANG=zh_CN.UTF-8"
start_box --iptype static --reply-delay-ms 4000
start_client zh-static zh_CN.UTF-8
find_window || fail "no window"
expect_trace "Chinese window title" "^title${T}Qen盒子\$" 10
expect_trace "Chinese searching subtitle" "^text${T}SubTitle${T}正在查找Qen盒子\.\.\.\$" 20
shot zh-104-searching 1.0
expect_trace "Chinese running page" "^text${T}SubTitle${T}您的Qen盒子 \($BOX_IP\) 运行正常。\$" 20
expect_trace "Chinese button label" "^(text|value)${T}ButtonDownload${T}下载客户端\$" 5
shot zh-130-running
close_window
wait "$client_pid"
client_pid=""
stop_all

start_box --iptype dhcp --restart-s 3 --http-delay-ms 1500
start_client zh-dhcp zh_CN.UTF-8
find_window || fail "no window"
expect_trace "Chinese form subtitle" "^text${T}SubTitle${T}在 $BOX_IP 找到Qen盒子。 请重新设置Qen盒子的IP地址。\$" 30
expect_trace "Chinese OK link" "^text${T}ButtonChangeIP${T}确定\$" 5
shot zh-131-form
mark_now
click_view "${BTN_CHANGEIP[@]}"
expect_trace "Chinese form message" "^message${T}请输入密码。\$" 5
shot zh-131-message
xdotool key Return
mark_now
type_into "${IN_PASSWORD[@]}" admin
type_into "${IN_IPADDRESS[@]}" "$NEW_IP"
click_view "${BTN_CHANGEIP[@]}"
expect_trace "Chinese applying subtitle" "^text${T}SubTitle${T}正在重新设置Qen盒子地址，请稍等\.\.\.\$" 5
shot zh-132-applying 0.1
expect_trace "Chinese success message" "^message${T}IP 地址已经被重新设置，请稍等重新发现Qen盒子。\$" 10
shot zh-104-after-setip
xdotool key Return
expect_trace "Chinese success message closed" "^message-closed${T}" 5
# Closing now, during the restart wait, ends within the shutdown bound too.
start=$(date +%s%N)
close_window
wait "$client_pid"
end=$(date +%s%N)
client_pid=""
took=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / 1e9 }')
if awk -v t="$took" 'BEGIN { exit !(t <= 5.5) }'; then pass "closed during the restart wait: ended after ${took} s"; else fail "closed during the restart wait: took ${took} s"; fi
stop_all

# ---------------------------------------------------------------- result
if grep -v '^$' "$OUT"/*.trace | grep -q "${T}blocked${T}"; then
  fail "the view blocked a navigation: $(grep -h "${T}blocked${T}" "$OUT"/*.trace | head -3)"
fi
echo "screenshots and traces: $OUT"
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"

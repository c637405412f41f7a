# Sourced by the Xvfb tests that play the installed morsk and trelvin against each other,
# after tests/xvfb_session.sh and xvfb_session_start: the steps they all take alike, so
# that each test only adds what it checks on top.
#
#   xvfb_game_start_host DIST [X Y W H]  starts morsk from DIST and returns once its
#                               window is up (at X,Y with size W x H when given)
#   xvfb_game_start_client DIST [PNG]    starts trelvin, answers its address box with
#                               127.0.0.1 and its greeting box with OK; PNG: a
#                               screenshot while the greeting is shown
#
# Each returns 1 and says why ("FAIL: ...") when a step fails. They leave the processes'
# ids in $xvfb_game_host_pid and $xvfb_game_client_pid, and their output in
# $xvfb_work/morsk.log and $xvfb_work/trelvin.log.

xvfb_host_title='Kelvaro(サーバー側)'
xvfb_client_title='Kelvaro(クライアント側)'
xvfb_game_host_pid=
xvfb_game_client_pid=

xvfb_game_start_host() { # dist [x y w h]
  local dist=$1
  shift
  (cd "$dist" && exec ./Orrin/morsk) >"$xvfb_work/morsk.log" 2>&1 &
  xvfb_game_host_pid=$!
  xvfb_track "$xvfb_game_host_pid"
  atspi window "$xvfb_host_title" "$@" >/dev/null ||
    { echo "FAIL: morsk's window did not appear${1:+ at $*}: $(cat "$xvfb_work/morsk.log")"; return 1; }
}

xvfb_game_start_client() { # dist [greeting screenshot]
  (cd "$1" && exec ./Velk/trelvin) >"$xvfb_work/trelvin.log" 2>&1 &
  xvfb_game_client_pid=$!
  xvfb_track "$xvfb_game_client_pid"
  atspi find '接続' label '接続先のIPアドレスを入力してください。' >/dev/null ||
    { echo "FAIL: trelvin did not ask for the address: $(cat "$xvfb_work/trelvin.log")"; return 1; }
  atspi type '接続' 127.0.0.1 || { echo "FAIL: the address box takes no text"; return 1; }
  atspi press '接続' 'push button' OK || { echo "FAIL: the address box has no OK"; return 1; }
  atspi find '接続確認' label '接続されました' >/dev/null ||
    { echo "FAIL: the greeting box did not appear on the client"; return 1; }
  if [ -n "${2:-}" ]; then
    import -window root "$2" || { echo "FAIL: no screenshot $2"; return 1; }
  fi
  atspi press '接続確認' 'push button' OK || { echo "FAIL: the greeting box has no OK"; return 1; }
  atspi gone '接続確認' || { echo "FAIL: the greeting box did not close"; return 1; }
}

# Sourced by the Xvfb tests that play the installed morsk, trelvin and kelvaro-cpu, after
# tests/xvfb_session.sh and xvfb_session_start: the steps they all take alike, so that
# each test only adds what it checks on top.
#
#   xvfb_game_start_host DIST [X Y W H]  starts morsk from DIST and returns once its
#                               window is up (at X,Y with size W x H when given)
#   xvfb_game_start_client DIST [PNG [ADDRESS]]  starts trelvin, answers its address
#                               box with ADDRESS (127.0.0.1 unless given) and its
#                               greeting box with OK; PNG: a screenshot while the
#                               greeting is shown ('' for none)
#   xvfb_game_play TITLE [PNG]  a person's whole match in game window TITLE, once the
#                               peer is there: the fleet dropped with the real pointer
#                               on cells the tree names, confirmed, and shot after shot
#                               at the peer's cells, each read as hit or miss, whenever
#                               the status says it is this side's turn, until the result
#                               box; a win must have taken all twelve cells of the fleet.
#                               Leaves the result box open, its title in
#                               $xvfb_game_result, the shots and hits in $xvfb_game_shots
#                               and $xvfb_game_hits; PNG: screenshots PNG-placed.png,
#                               PNG-playing.png and PNG-result.png
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

xvfb_game_start_client() { # dist [greeting screenshot [address]]
  (cd "$1" && exec ./Velk/trelvin) >"$xvfb_work/trelvin.log" 2>&1 &
  xvfb_game_client_pid=$!
  xvfb_track "$xvfb_game_client_pid"
  atspi find '接続' label '接続先のIPアドレスを入力してください。' >/dev/null ||
    { echo "FAIL: trelvin did not ask for the address: $(cat "$xvfb_work/trelvin.log")"; return 1; }
  atspi type '接続' "${3:-127.0.0.1}" || { echo "FAIL: the address box takes no text"; return 1; }
  atspi press '接続' 'push button' OK || { echo "FAIL: the address box has no OK"; return 1; }
  atspi find '接続確認' label '接続されました' >/dev/null ||
    { echo "FAIL: the greeting box did not appear on the client"; return 1; }
  if [ -n "${2:-}" ]; then
    import -window root "$2" || { echo "FAIL: no screenshot $2"; return 1; }
  fi
  atspi press '接続確認' 'push button' OK || { echo "FAIL: the greeting box has no OK"; return 1; }
  atspi gone '接続確認' || { echo "FAIL: the greeting box did not close"; return 1; }
}

# Moves the pointer onto the cell named $2 in window $1 and presses there.
xvfb_game_click() { # title cell
  local x y w h
  read -r x y w h < <(atspi find "$1" 'push button' "$2") || return 1
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}

xvfb_game_result='' xvfb_game_shots=0 xvfb_game_hits=0
xvfb_game_play() { # title [screenshot prefix]
  local title=$1 png=${2:-} cell mark round end=$((SECONDS + 100))
  local yourturn='あなたのターンです。砲撃しましょう'
  xvfb_game_result='' xvfb_game_shots=0 xvfb_game_hits=0
  # Down from 1,1; across from 1,2; down from 2,6: each drop selects the next submarine.
  for cell in 1行1列 1行2列 2行6列; do
    xvfb_game_click "$title" "自分の陣地 $cell" || { echo "FAIL: no own cell $cell"; return 1; }
  done
  atspi press "$title" 'push button' '配置完了' || { echo "FAIL: no confirm button"; return 1; }
  atspi press '確認' 'push button' 'はい' || { echo "FAIL: no question whether the placement is right"; return 1; }
  atspi gone '確認' || { echo "FAIL: the placement question did not close"; return 1; }
  [ -z "$png" ] || import -window root "$png-placed.png"

  for ((round = 0; round < 90 && SECONDS < end; round++)); do
    xvfb_game_result=$(xdotool search --onlyvisible --name '^あなたの(勝ち|負け)$' getwindowname 2>/dev/null) && break
    atspi --timeout 3 find "$title" label "$yourturn" >/dev/null || continue
    [ "$xvfb_game_shots" -lt 64 ] || { echo "FAIL: every cell was shot at and no result came"; return 1; }
    cell="相手の陣地 $((xvfb_game_shots / 8 + 1))行$((xvfb_game_shots % 8 + 1))列"
    xvfb_game_shots=$((xvfb_game_shots + 1))
    xvfb_game_click "$title" "$cell" || { echo "FAIL: no opponent cell $cell"; return 1; }
    mark=$(atspi describe "$title" "$cell" '命中（●）' 'はずれ（×）') ||
      { echo "FAIL: $cell reads neither hit nor miss"; return 1; }
    [[ $mark == *命中* ]] && xvfb_game_hits=$((xvfb_game_hits + 1))
    [ -n "$png" ] && [ "$xvfb_game_shots" = 20 ] && import -window root "$png-playing.png"
  done
  [ -n "$xvfb_game_result" ] || { echo "FAIL: no result box after $xvfb_game_shots shots"; return 1; }
  echo "ok: $xvfb_game_result after $xvfb_game_shots shots, $xvfb_game_hits of them hits"
  [ "$xvfb_game_result" = 'あなたの負け' ] || [ "$xvfb_game_hits" = 12 ] ||
    { echo "FAIL: won with $xvfb_game_hits hits, the fleet has 12 cells"; return 1; }
  [ -z "$png" ] || import -window root "$png-result.png"
}

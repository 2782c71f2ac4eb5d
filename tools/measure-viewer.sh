#!/usr/bin/env bash
# Measures the viewer on a broadcast under Xvfb, with stored settings (LoopTime 3):
#  - the time from the process start to the first page drawn,
#  - the CPU it takes while polling (over 20 s, after 10 s of warm-up),
#  - its resident memory.
# Usage: tools/measure-viewer.sh [viewer binary] [--source ...]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/default/src/app/quav-videotext}
shift || true
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat > "$tmp/QUAV.conf" <<CONF
[General]
Config=11
[Hardware]
Device=0
Port=1
I2cDelay=200
LoopTime=3
CONF

cat > "$tmp/measure.sh" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
bin=$1; shift
"$bin" "$@" 2> "$TMPDIR_MEASURE/stderr.txt" &
pid=$!
for _ in $(seq 1 100); do
    grep -q first-page-ms "$TMPDIR_MEASURE/stderr.txt" 2>/dev/null && break
    sleep 0.1
done
sleep 10
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
t0=$(ticks); s0=$(date +%s.%N)
sleep 20
t1=$(ticks); s1=$(date +%s.%N)
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
kill "$pid"; wait "$pid" 2>/dev/null || true
hz=$(getconf CLK_TCK)
first=$(grep -o 'first-page-ms=[0-9]*' "$TMPDIR_MEASURE/stderr.txt" | cut -d= -f2)
cpu=$(echo "scale=2; 100 * ($t1 - $t0) / $hz / ($s1 - $s0)" | bc)
echo "first page drawn after: ${first:-?} ms"
echo "CPU while polling:      ${cpu} % of one core"
echo "resident memory:        $((rss / 1024)) MB"
INNER
chmod +x "$tmp/measure.sh"
server="-screen 0 1280x1024x24"
if [ "$(id -u)" -eq 0 ]; then
    # The viewer does not run as root: as root (a container, CI) it is started as through
    # sudo by nobody, which reads the settings here and reaches the display without a cookie.
    chmod a+rx "$tmp" && chmod a+r "$tmp/QUAV.conf"
    export SUDO_UID=65534 SUDO_GID=65534
    server="-ac $server"
fi
TMPDIR_MEASURE=$tmp QUAV_SETTINGS_FILE="$tmp/QUAV.conf" QUAV_TRACE_STARTUP=1 \
    xvfb-run -a -s "$server" "$tmp/measure.sh" "$(realpath "$bin")" "$@"

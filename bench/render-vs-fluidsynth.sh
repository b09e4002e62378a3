#!/usr/bin/env bash
# Renders the same Standard MIDI File - 32 notes held for 60 s - through the
# instrument and through FluidSynth (General MIDI sound font), at 48 kHz, and
# compares the wall times. The goal: ours at least twice as fast.
#
#   bench/render-vs-fluidsynth.sh BUILD_DIR
#
# BUILD_DIR is a configured build of this project (e.g. build/release); the
# instrument, orvo-host and the bench helper orvo_render_bench are built there
# when missing. FluidSynth, its sound font and sox are installed with apt-get
# when missing (as root, or through sudo).
#
# Our side renders with `orvo-host render OrvoVST.so --midi ... --sample ...`
# when orvo-host has those options, else in-process with orvo_render_bench
# (the same engine code, driven through processEvents/processReplacing as a
# host does). Both sides write their output file.
#
# Environment:
#   RUNS=3            timed runs of each side (taken in turn; medians are shown)
#   SECONDS_HELD=60   how long the notes are held and how much we render
#   SOUNDFONT=...     another .sf2 for FluidSynth
#   FLUID_OPTS="-R 0 -C 0"  FluidSynth options; reverb and chorus are off by
#                     default, so that both sides do voice rendering only
#   PROGRAM=19        General MIDI program of the notes (0-based; 19 Church
#                     Organ, which sustains for as long as a key is held)
#   KEEP=1            keep the work folder (MIDI file, sound, both renders)
set -euo pipefail

if [ $# -ne 1 ] || [ "$1" = "-h" ] || [ "$1" = "--help" ]; then
  sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'
  [ $# -eq 1 ] && exit 0 || exit 2
fi

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
runs="${RUNS:-3}"
held="${SECONDS_HELD:-60}"
program="${PROGRAM:-19}"
rate=48000
block=512
fluid_opts=(${FLUID_OPTS--R 0 -C 0})

say() { printf '%s\n' "$*"; }
die() { printf 'render-vs-fluidsynth: %s\n' "$*" >&2; exit 1; }

# ---- packages -------------------------------------------------------------------

default_soundfont() {
  for f in /usr/share/sounds/sf2/FluidR3_GM.sf2 /usr/share/sounds/sf2/default-GM.sf2; do
    [ -f "$f" ] && { echo "$f"; return 0; }
  done
  return 1
}

missing=()
command -v fluidsynth >/dev/null 2>&1 || missing+=(fluidsynth)
[ -n "${SOUNDFONT:-}" ] || default_soundfont >/dev/null || missing+=(fluid-soundfont-gm)
command -v soxi >/dev/null 2>&1 || missing+=(sox)
command -v python3 >/dev/null 2>&1 || missing+=(python3)
if [ ${#missing[@]} -gt 0 ]; then
  say "Installing: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then sudo=(); elif command -v sudo >/dev/null 2>&1; then sudo=(sudo -n); else
    die "need root or sudo to install ${missing[*]}"
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
soundfont="${SOUNDFONT:-$(default_soundfont)}" || die "no General MIDI sound font found"
[ -f "$soundfont" ] || die "sound font $soundfont not found"

# ---- our binaries -----------------------------------------------------------------

plugin="$build/OrvoVST.so"
host="$build/orvo-host"
helper="$build/bench/orvo_render_bench"
targets=()
[ -f "$plugin" ] || targets+=(OrvoVST)
[ -x "$host" ] || targets+=(orvo-host)
[ -x "$helper" ] || targets+=(orvo_render_bench)
if [ ${#targets[@]} -gt 0 ]; then
  say "Building: ${targets[*]}"
  cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null
fi

if "$host" render --help 2>/dev/null | grep -q -- '--midi' &&
   "$host" render --help 2>/dev/null | grep -q -- '--sample'; then
  ours_name="orvo-host render $(basename "$plugin") --midi"
  ours() { "$host" render "$plugin" --midi "$1" --sample "$sound" -o "$2" --rate $rate --block $block --seconds "$3"; }
else
  ours_name="orvo_render_bench (in-process; orvo-host render has no --midi yet)"
  ours() { "$helper" --midi "$1" --sample "$sound" -o "$2" --rate $rate --block $block --seconds "$3"; }
fi
fluid() { fluidsynth -ni -q "${fluid_opts[@]}" -r $rate -T wav -F "$2" "$soundfont" "$1"; }

# ---- inputs -------------------------------------------------------------------------

work="$(mktemp -d "${TMPDIR:-/tmp}/orvo-vs-fluid-XXXXXX")"
if [ "${KEEP:-0}" = 1 ]; then say "Work folder: $work"; else trap 'rm -rf "$work"' EXIT; fi
export XDG_CONFIG_HOME="$work/config" # keep the user's preferences out of it
mkdir -p "$XDG_CONFIG_HOME"

midi="$work/held-${held}s.mid"
short="$work/held-1s.mid"
sound="$work/sound.wav"
python3 "$here/make-held-notes-midi.py" "$midi" --notes 32 --seconds "$held" --program "$program"
python3 "$here/make-held-notes-midi.py" "$short" --notes 32 --seconds 1 --program "$program"
"$helper" --make-sound "$sound"

# ---- timing ------------------------------------------------------------------------

# timed NAME FUNCTION MIDI OUT SECONDS: runs it once, appends "wall cpu" to
# $work/NAME.times; its own output goes to $work/NAME.log.
timed() {
  local name="$1" fn="$2" start end cpu
  local TIMEFORMAT='%3U %3S'
  start=$(date +%s.%N)
  { time "$fn" "$3" "$4" "$5" >>"$work/$name.log" 2>&1; } 2>"$work/cpu.tmp" ||
    { cat "$work/$name.log" >&2; die "$name failed"; }
  end=$(date +%s.%N)
  cpu=$(awk '{print $1 + $2}' "$work/cpu.tmp")
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN{printf "%.3f", b - a}') $cpu" >>"$work/$name.times"
}

median() { sort -n | awk '{v[NR]=$1} END{if (NR % 2) print v[(NR+1)/2]; else printf "%.3f\n", (v[NR/2]+v[NR/2+1])/2}'; }

# Duration of a sound file, and whether it still sounds just before t.
duration() { soxi -D "$1" 2>/dev/null; }
rms_before() { sox "$1" -n trim "$(awk -v t="$2" 'BEGIN{print t - 1}')" 0.9 stat 2>&1 | awk '/RMS +amplitude/{print $3}'; }

say "Ours:       $ours_name"
say "FluidSynth: $(fluidsynth --version 2>/dev/null | head -1 | sed 's/.*version //'), $(basename "$soundfont"), program $program, options: ${fluid_opts[*]:-(none)}"
say "Rendering 32 notes held for ${held} s at $rate Hz, $runs runs each, taken in turn ..."

# A warm-up of each (disk cache, sound font), not counted.
timed warmup ours "$short" "$work/ours-short.wav" 1
timed warmup fluid "$short" "$work/fluid-short.wav" 1
rm -f "$work/warmup.times"
for _ in $(seq "$runs"); do
  timed ours ours "$midi" "$work/ours.wav" "$held"
  timed fluid fluid "$midi" "$work/fluid.wav" "$held"
  timed ours-1s ours "$short" "$work/ours-short.wav" 1
  timed fluid-1s fluid "$short" "$work/fluid-short.wav" 1
done

# ---- checks ------------------------------------------------------------------------

ok=1
for side in ours fluid; do
  d=$(duration "$work/$side.wav")
  r=$(rms_before "$work/$side.wav" "$held")
  printf -v "${side}_duration" '%s' "$d"
  printf -v "${side}_rms" '%s' "$r"
  if ! awk -v d="$d" -v t="$held" 'BEGIN{exit !(d >= t - 0.001)}'; then
    say "CHECK FAILED: $side rendered $d s, less than $held s"; ok=0
  fi
  if ! awk -v r="$r" 'BEGIN{exit !(r > 0.0001)}'; then
    say "CHECK FAILED: $side is silent in the last second before $held s (RMS $r)"; ok=0
  fi
done

ours_wall=$(awk '{print $1}' "$work/ours.times" | median)
ours_cpu=$(awk '{print $2}' "$work/ours.times" | median)
fluid_wall=$(awk '{print $1}' "$work/fluid.times" | median)
fluid_cpu=$(awk '{print $2}' "$work/fluid.times" | median)
ours_1s=$(awk '{print $1}' "$work/ours-1s.times" | median)
fluid_1s=$(awk '{print $1}' "$work/fluid-1s.times" | median)
ours_1s_cpu=$(awk '{print $2}' "$work/ours-1s.times" | median)
fluid_1s_cpu=$(awk '{print $2}' "$work/fluid-1s.times" | median)

say ""
printf '%-12s %10s %10s %12s %14s  %s\n' "" "wall s" "cpu s" "output s" "RMS last s" "wall of every run"
printf '%-12s %10s %10s %12s %14s  %s\n' "ours" "$ours_wall" "$ours_cpu" "$ours_duration" "$ours_rms" \
  "$(awk '{printf "%s ", $1}' "$work/ours.times")"
printf '%-12s %10s %10s %12s %14s  %s\n' "FluidSynth" "$fluid_wall" "$fluid_cpu" "$fluid_duration" "$fluid_rms" \
  "$(awk '{printf "%s ", $1}' "$work/fluid.times")"
say "(FluidSynth's file runs on past the note-offs: it always adds 2 s of silence at the end.)"
say ""
ratio=$(awk -v f="$fluid_wall" -v o="$ours_wall" 'BEGIN{printf "%.2f", f / o}')
cpu_ratio=$(awk -v f="$fluid_cpu" -v o="$ours_cpu" 'BEGIN{printf "%.2f", f / o}')
say "Wall time ratio FluidSynth / ours: $ratio   (CPU time ratio: $cpu_ratio)"
# Start-up (loading the plug-in and sound, or the sound font) estimated from
# the 1-second renders and taken off both.
net() { awk -v f="$1" -v f1="$2" -v o="$3" -v o1="$4" \
  'BEGIN{a = f - f1; b = o - o1; if (b > 0) printf "%.2f", a / b; else print "n/a"}'; }
say "Start-up, from a 1 s render (wall / cpu s): ours $ours_1s / $ours_1s_cpu, FluidSynth $fluid_1s / $fluid_1s_cpu"
say "Ratio without start-up: wall $(net "$fluid_wall" "$fluid_1s" "$ours_wall" "$ours_1s")," \
  "cpu $(net "$fluid_cpu" "$fluid_1s_cpu" "$ours_cpu" "$ours_1s_cpu")"
if [ "$ok" = 1 ] && awk -v r="$ratio" 'BEGIN{exit !(r >= 2)}'; then
  say "Goal (ours at least twice as fast as FluidSynth): MET"
else
  say "Goal (ours at least twice as fast as FluidSynth): NOT MET"
fi
# Only a failed check (a render too short or silent) is an error; a missed
# goal is a result.
[ "$ok" = 1 ]

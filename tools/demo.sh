#!/usr/bin/env bash
# The demo: plays a phrase on the instrument with its demo sample, then
# records the demo input into the effect's loop buffer and plays the loop
# with notes after the take. Writes BUILD_DIR/demo/{instrument.wav,
# effect.wav,effect-loop.aiff} and prints their lengths and levels.
# Fails if a render fails, if the instrument is (nearly) silent or if the
# effect adds nothing after its input has ended.
set -euo pipefail
build=${1:-build/release}
here=$(cd "$(dirname "$0")" && pwd)
host="$build/orvo-host"
out="$build/demo"
mkdir -p "$out"

# The peak in dBFS from a summary line ("... peak -6.02 dBFS (0.5), ...").
peak_db() { sed -n 's/.*peak \([-0-9.inf]*\) dBFS.*/\1/p' <<<"$1" | tail -n 1; }
# Whether a dBFS figure lies above a threshold (-inf never does).
above() { awk -v x="$1" -v t="$2" 'BEGIN { exit !(x != "-inf" && x + 0 > t) }'; }
summary() { tail -n 1 <<<"$1"; }

echo "=== Instrument: OrvoVST.so playing tools/demo/orvotide-demo.wav ==="
# A rising figure, a held chord and a last low note (C4 is the sample's root).
notes="60@0:0.4,64@0.4:0.4,67@0.8:0.4,72@1.2:0.8"
notes+=",60v90@2:2.2,64v90@2:2.2,67v90@2:2.2,71v80@2:2.2"
notes+=",55v100@4.4:1"
run=$("$host" render "$build/OrvoVST.so" -o "$out/instrument.wav" --seconds 6 \
  --sample "$here/demo/orvotide-demo.wav" --notes "$notes" \
  --set "Attack=0.005" --set "Release=0.6" --set "Volume=0.9")
echo "instrument.wav: $(summary "$run")"
if ! above "$(peak_db "$run")" -30; then
  echo "demo: the instrument's output is silent or too quiet" >&2
  exit 1
fi

echo
echo "=== Effect: OrvoEffVST.so looping tools/demo/demo-input.wav ==="
# Triggered recording of the whole 4 s phrase into a 4 s buffer, then the
# loop played at three pitches while the input is silent.
run=$("$host" render "$build/OrvoEffVST.so" -i "$here/demo/demo-input.wav" -o "$out/effect.wav" --seconds 10 \
  --set "Record Mode=5" --set "Buffer Size=4" --set "Dry Level=0.9" --set "Attack=0.01" --set "Release=0.5" \
  --automate "Record On/Off@0=1" --automate "Record On/Off@4=0" \
  --notes "60@4.2:2,67v90@6.2:1.5,64v90@6.2:1.5,55v100@7.8:2" \
  --save-buffer "$out/effect-loop.aiff")
echo "effect.wav: $(summary "$run")"
tail_levels=$("$host" levels "$out/effect.wav" --from 4.2)
echo "effect.wav after the input ends (from 4.2 s): $tail_levels"
loop_levels=$("$host" levels "$out/effect-loop.aiff")
echo "effect-loop.aiff: $loop_levels"
if ! above "$(peak_db "$tail_levels")" -40; then
  echo "demo: the effect adds nothing after its input ends" >&2
  exit 1
fi
echo
echo "Wrote $out/instrument.wav, $out/effect.wav and $out/effect-loop.aiff"

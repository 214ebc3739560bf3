#!/usr/bin/env bash
# Makes eg.mp3, the sample recording the program offers under "试听": six everyday English
# sentences spoken slowly by espeak-ng, each followed by a pause long enough to repeat it,
# encoded by lame as 44.1 kHz mono at 64 kb/s with an ID3v2 tag whose title the menu shows.
#
# usage: gen_sample.sh OUTPUT_MP3
set -euo pipefail

out=$1
title="示例：英语日常短句"
artist="Clipvane"
voice=en-us
words_per_minute=130
pause_seconds=2.0

sentences=(
  "Good morning. How are you today?"
  "I would like a cup of coffee, please."
  "Excuse me, where is the train station?"
  "It is a lovely day, isn't it?"
  "Could you speak a little more slowly, please?"
  "Thank you very much. See you tomorrow."
)

work=$(mktemp -d "${TMPDIR:-/tmp}/clipvane-sample.XXXXXX")
trap 'rm -rf "$work"' EXIT

parts=()
n=0
for sentence in "${sentences[@]}"; do
  n=$((n + 1))
  espeak-ng -v "$voice" -s "$words_per_minute" -w "$work/raw$n.wav" "$sentence"
  # Same format for every part, then the pause after the sentence. No dither and a fixed
  # seed (-D -R): every build makes the same file.
  sox -R -D "$work/raw$n.wav" -r 44100 -c 1 -b 16 "$work/part$n.wav" pad 0.3 "$pause_seconds"
  parts+=("$work/part$n.wav")
done
sox -R -D "${parts[@]}" "$work/all.wav" gain -n -1

# lame reads the tag texts in the locale's encoding; a UTF-8 locale is needed for the
# Chinese title to reach the UTF-16 frame intact.
LC_ALL=C.UTF-8 lame --quiet -b 64 -m m --id3v2-only --id3v2-utf16 \
  --tt "$title" --ta "$artist" "$work/all.wav" "$out.tmp"
mv "$out.tmp" "$out"

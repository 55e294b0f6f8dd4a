#!/bin/sh
# Runs the README's GNU parallel recipe on this machine alone (--sshlogin :)
# over a folder of recordings, and checks that every recording got its MIDI
# file.  Usage: parallel_recipe_test.sh README CONVERTER_FOLDER WAV
set -eu
readme=$1
converter_folder=$2
wav=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/recordings/sub"
cp "$wav" "$work/recordings/first.wav"
cp "$wav" "$work/recordings/sub/Second.WAV"
# The three lines after the marker's fence, with this machine as the only host.
recipe=$(awk '/the recipe: tests\/cli\/parallel_recipe_test.sh/ { marked = 1; next }
             marked && /^```$/ { if (inside) exit; inside = 1; next }
             inside { print }' "$readme" | sed 's/--sshlogin [^ ]*/--sshlogin :/')
[ -n "$recipe" ] || { echo "no recipe found in $readme"; exit 1; }
cd "$work"
PATH="$converter_folder:$PATH" sh -c "$recipe" 2>"$work/parallel.log" ||
  { cat "$work/parallel.log"; exit 1; }
for midi in recordings/first.mid recordings/sub/Second.mid; do
  [ -s "$midi" ] || { echo "$midi was not written"; cat "$work/parallel.log"; exit 1; }
done
echo "the recipe converted both recordings"

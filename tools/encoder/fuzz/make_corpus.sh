#!/usr/bin/env bash
# Builds a seed corpus for zvc_decode_fuzzer: the shipped panel JSON files as
# they are, zlib-compressed, and enciphered into .zvc by PelorZVCEncoder.
# Usage: make_corpus.sh <PelorZVCEncoder> <corpus folder>
set -euo pipefail
encoder="$1"
corpus="$2"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
mkdir -p "$corpus"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A small panel-like sample, so the corpus is never empty.
printf '%s\n' '{"moduleName":"beauty","items":[{"name":"smooth","defaultValue":60,"resourceUri":""}]}' \
    > "$work/sample.json"
i=0
for json in "$work/sample.json" "$root"/beauty_panel/panel_json/*.json; do
    [ -e "$json" ] || continue
    i=$((i + 1))
    cp "$json" "$work/plain$i.json"
    python3 -c 'import sys, zlib; sys.stdout.buffer.write(zlib.compress(open(sys.argv[1], "rb").read()))' \
        "$json" > "$work/packed$i.json"
    "$encoder" --encode "$work/plain$i.json" 2>/dev/null
    "$encoder" --encode "$work/packed$i.json" 2>/dev/null
    cp "$work/plain$i.json" "$work/packed$i.json" "$work/plain$i.zvc" "$work/packed$i.zvc" "$corpus/"
done
echo "make_corpus: $(ls "$corpus" | wc -l) files in $corpus"
